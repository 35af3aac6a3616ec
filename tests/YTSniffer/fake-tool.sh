#!/bin/sh
# Stands in for the downloader launcher, ffmpeg or yt-dlp in the driver's
# tests, for what the real programs cannot be made to do on purpose. It does
# what its environment says, in this order:
#   FAKE_LOG=FILE     appends its arguments to FILE, one a line, and the
#                     mode and text of a --config-locations file to FILE.conf
#   FAKE_OUT=FILE     copies FILE to standard output
#   FAKE_THEN=FILE    copies FILE to standard output a moment later, so that
#                     it comes as a read of its own
#   FAKE_ERR=TEXT     prints TEXT on standard error
#   FAKE_FLOOD=BYTES  prints that many bytes of FAKE_FLOOD_LINE lines, or of
#                     "x" without any line end
#   FAKE_PART=1       writes TARGET.part (TARGET: the argument after -o,
#                     else the last argument)
#   FAKE_TARGET=1     writes TARGET
#   FAKE_TRACK=NAME   writes NAME beside TARGET, as the tracks of a merge
#   FAKE_BUSY=S       keeps writing to what it wrote last (the track, else
#                     TARGET.part, else TARGET) for S seconds, printing nothing
#   FAKE_CHILD=FILE   starts a sleeping child; its pid and its own into FILE
#   FAKE_STAY=1       stays until killed, ignoring SIGTERM and writing all
#                     the while to what it wrote, if anything
#   FAKE_EXIT=N       exits with N (default 0)

target=
config=
previous=
for arg in "$@"; do
    [ "$previous" = "-o" ] && target=$arg
    [ "$previous" = "--config-locations" ] && config=$arg
    previous=$arg
done
[ -n "$target" ] || target=$arg

[ -n "$FAKE_LOG" ] && printf '%s\n' "$@" >> "$FAKE_LOG"
[ -n "$FAKE_LOG" ] && [ -n "$config" ] && { stat -c %a "$config"; cat "$config"; } > "$FAKE_LOG.conf"
[ -n "$FAKE_OUT" ] && cat "$FAKE_OUT"
[ -n "$FAKE_THEN" ] && sleep 0.2 && cat "$FAKE_THEN"
[ -n "$FAKE_ERR" ] && echo "$FAKE_ERR" >&2
if [ -n "$FAKE_FLOOD" ]; then
    if [ -n "$FAKE_FLOOD_LINE" ]; then
        yes "$FAKE_FLOOD_LINE" | head -c "$FAKE_FLOOD"
    else
        head -c "$FAKE_FLOOD" /dev/zero | tr '\0' x
    fi
fi
partial=
[ -n "$FAKE_TARGET" ] && echo whole > "$target" && partial=$target
if [ -n "$FAKE_PART" ]; then
    echo partial > "$target.ytdl"
    echo partial > "$target.part"
    partial=$target.part
fi
if [ -n "$FAKE_TRACK" ]; then
    partial=$(dirname "$target")/$FAKE_TRACK
    echo partial > "$partial"
fi
i=0
while [ "$i" -lt $((${FAKE_BUSY:-0} * 20)) ]; do
    [ -n "$partial" ] && echo more >> "$partial"
    sleep 0.05
    i=$((i + 1))
done
if [ -n "$FAKE_CHILD" ]; then
    sleep 300 &
    echo "$! $$" > "$FAKE_CHILD"
fi
if [ -n "$FAKE_STAY" ]; then
    trap '' TERM
    while :; do
        [ -n "$partial" ] && echo more >> "$partial"
        sleep 0.05
    done
fi
exit "${FAKE_EXIT:-0}"
