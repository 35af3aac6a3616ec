#!/usr/bin/env bash
# Pictures of every page for the README, taken from the real window on a
# virtual X display. The download page shows the real formats of a local
# page served on 127.0.0.1.
#   tools/screenshots/take.sh [OUTPUT_FOLDER]   (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-docs/screenshots}")
build=build/dev
cmake --build "$build" --target vidarro_screens vidarro >/dev/null

work=$(mktemp -d)
server=
trap '[[ -n $server ]] && kill $server 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/home" "$work/appdata/Vidarro"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=640x360:rate=25 -f lavfi -i sine=f=440 -t 3 \
  -c:v libx264 -c:a aac -shortest "$work/site/clip.mp4"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x180:rate=25 -f lavfi -i sine=f=440 -t 3 \
  -c:v libvpx -c:a libvorbis -shortest "$work/site/clip.webm"
# A streaming manifest for the sniffed-media page: two qualities and an audio group.
mkdir -p "$work/site/hls"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=1280x720:rate=25 -f lavfi -i sine=f=440 -t 6 \
  -filter_complex "[0:v]split=2[a][b];[b]scale=640:360[c]" -map "[a]" -map "[c]" -map 1:a \
  -c:v libx264 -preset ultrafast -c:a aac -f hls -hls_time 2 -hls_playlist_type vod \
  -master_pl_name master.m3u8 -var_stream_map "v:0,agroup:aud v:1,agroup:aud a:0,agroup:aud" \
  -hls_segment_filename "$work/site/hls/s_%v_%03d.ts" "$work/site/hls/p_%v.m3u8"
cat > "$work/site/watch.html" <<'HTML'
<html><head><title>Big Test Pattern: the movie</title></head><body>
<video controls><source src="clip.webm" type="video/webm"><source src="clip.mp4" type="video/mp4">
<track kind="subtitles" srclang="en" src="en.vtt"><track kind="subtitles" srclang="de" src="de.vtt">
<track kind="subtitles" srclang="fr" src="fr.vtt"></video>
</body></html>
HTML
for lang in en de fr; do printf 'WEBVTT\n\n00:00.000 --> 00:02.000\n%s\n' "$lang" > "$work/site/$lang.vtt"; done
# Video and sound apart, as large sites serve them: an HLS master with two heights.
mkdir -p "$work/site/hls"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=1280x720:rate=25:duration=3 -f lavfi -i sine=f=440:duration=3 \
  -filter_complex "[0:v]split=2[v1][v2];[v2]scale=640:360[v2o]" -map "[v1]" -map "[v2o]" -map 1:a \
  -c:v libx264 -preset ultrafast -c:a aac -f hls -hls_time 1 -hls_playlist_type vod \
  -master_pl_name master.m3u8 -var_stream_map "v:0,agroup:aud v:1,agroup:aud a:0,agroup:aud" \
  -hls_segment_filename "$work/site/hls/%v_%03d.ts" "$work/site/hls/%v.m3u8"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
server=$!
sleep 1

# A podcast feed for the playlist page: its enclosures need not exist to be listed.
{
  printf '<?xml version="1.0"?>\n<rss version="2.0" xmlns:itunes="http://www.itunes.com/dtds/podcast-1.0.dtd"><channel><title>Test Pattern Radio</title>\n'
  n=0
  for title in "Opening night" "The colour bars, explained" "Sine waves at 440 Hz" "Interview: the test card girl" \
               "Letters from listeners" "A very long title about signal generators that does not fit the list" \
               "Live from the studio" "Season finale"; do
    n=$((n + 1))
    printf '<item><title>%s</title><enclosure url="http://127.0.0.1:%s/clip%d.mp3" type="audio/mpeg"/><itunes:duration>%d:%02d</itunes:duration></item>\n' \
      "$title" "$port" "$n" $((20 + n * 3)) $((n * 7 % 60))
  done
  printf '</channel></rss>\n'
} > "$work/site/feed.xml"

# A settings file of the shipped template, with the local server accepted.
sed "s/^1=\"youtube.com\"/1=\"127.0.0.1\"/" resources/sniffer_linux.ini > "$work/appdata/Vidarro/sniffer.ini"
printf '[General]\nlast_update=%s\nlast_update_year=%s\nsavepath_video=%s\nsavepath_audio=%s\n' \
  "$(date +%-j)" "$(date +%Y)" "$work/home/Videos" "$work/home/Music" >> "$work/appdata/Vidarro/sniffer.ini"

HOME="$work/home" APPDATA="$work/appdata" xvfb-run -a -s "-screen 0 1024x900x24" \
  "$build/tools/vidarro_screens" "$out" "http://127.0.0.1:$port/watch.html" \
  "http://127.0.0.1:$port/hls/master.m3u8" "http://127.0.0.1:$port/gone.html" \
  "http://127.0.0.1:$port/feed.xml" >/dev/null
ls "$out"
