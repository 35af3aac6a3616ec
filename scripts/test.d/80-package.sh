#!/usr/bin/env bash
# The Debian package: builds it from a built tree, installs it with apt,
# starts the installed program offscreen as an unprivileged user in a network
# namespace of its own (nothing leaves the machine), checks that it creates its
# settings and log files, and removes the package again.
# VIDARRO_PACKAGE_PRESET picks the tree (default package: the dev build's
# flags, compiled in batches); only what the package holds is built there.
set -euo pipefail
cd "$(dirname "$0")/../.."
preset=${VIDARRO_PACKAGE_PRESET:-package}
build=build/$preset
appdir=/usr/lib/vidarro

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
fail() { echo "package test: $*" >&2; exit 1; }

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target vidarro_package_contents
# "build": only configure and build (scripts/test does it while the suites run).
[[ ${1:-} != build ]] || exit 0
rm -f "$build"/vidarro_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/vidarro_*.deb)
deb=${debs[0]}
[[ -f $deb ]] || fail "cpack wrote no package"
echo "built $(basename "$deb")"
contents=$(dpkg-deb -c "$deb")
for path in usr/lib/vidarro/vidarro usr/bin/vidarro "usr/lib/vidarro/run" usr/lib/vidarro/update.sh usr/lib/vidarro/yt-dlp-release-key.asc usr/lib/vidarro/sniffer_linux.ini \
            usr/share/applications/vidarro.desktop usr/share/metainfo/example.vidarro.Vidarro.metainfo.xml usr/share/icons/hicolor/256x256/apps/vidarro.png \
            usr/lib/vidarro/vidarro-browser-host etc/chromium/native-messaging-hosts/vidarro.browser_host.json \
            etc/opt/chrome/native-messaging-hosts/vidarro.browser_host.json \
            usr/lib/mozilla/native-messaging-hosts/vidarro.browser_host.json \
            usr/share/vidarro/browser-extension/chromium/manifest.json \
            usr/share/vidarro/browser-extension/firefox/manifest.json usr/share/vidarro/browser-extension/firefox/popup.html; do
    grep -q "\./$path\b" <<<"$contents" || fail "the package lacks /$path"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6sql6-sqlite libqt6dbus6 libpcap0.8 yt-dlp ffmpeg qt6-qpa-plugins curl gpgv unzip; do
    grep -q "\b$dep\b" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
desktop-file-validate packaging/vidarro.desktop
appstreamcli validate --no-net packaging/example.vidarro.Vidarro.metainfo.xml >/dev/null || fail "the AppStream metainfo is not valid"
grep -q '^Exec=vidarro %U$' packaging/vidarro.desktop || fail "the desktop entry does not pass addresses on"

"${as_root[@]}" apt-get purge -y -qq vidarro >/dev/null 2>&1 || true
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "./$deb" >/dev/null
trap '"${as_root[@]}" apt-get purge -y -qq vidarro >/dev/null 2>&1 || true' EXIT

[[ $(readlink -f /usr/bin/vidarro) == "$appdir/vidarro" ]] || fail "/usr/bin/vidarro does not lead to $appdir/vidarro"
caps=$(getcap "$appdir/vidarro" || true)
[[ $caps == *cap_net_admin* && $caps == *cap_net_raw* ]] || fail "no capture rights on $appdir/vidarro: '$caps'"
template_sum=$(md5sum <"$appdir/sniffer_linux.ini")

# A first start by a user who has never run it.
work=$(mktemp -d)
trap '"${as_root[@]}" apt-get purge -y -qq vidarro >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
# The per-user folder's parent exists, as on any desktop account.
mkdir -p "$work/home/appdata" "$work/home/.local/share" "$work/runtime"
chmod 700 "$work/runtime"
if [[ $(id -u) -eq 0 ]]; then
    chown -R 65534:65534 "$work"
    user=(--reuid=65534 --regid=65534 --clear-groups)
else
    user=(--reuid="$(id -u)" --regid="$(id -g)" --init-groups)
fi
appdata=$work/home/appdata
"${as_root[@]}" timeout 60 unshare --net setpriv "${user[@]}" \
    env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$work/home" APPDATA="$appdata" \
    XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    /usr/bin/vidarro >"$work/console.txt" 2>&1 &
app=$!

settings=$appdata/Vidarro/sniffer.ini
for _ in $(seq 1 60); do
    logs=("$appdata"/Vidarro/log_*.txt)
    [[ -s $settings && -s ${logs[0]} ]] && break
    kill -0 "$app" 2>/dev/null || break
    sleep 0.5
done
sleep 1 # let the start finish writing
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true

logs=("$appdata"/Vidarro/log_*.txt)
if [[ ! -s $settings || ! -s ${logs[0]} ]]; then
    echo "--- console"; cat "$work/console.txt" || true
    ls -la "$appdata/Vidarro" 2>/dev/null || true
    fail "the installed program created no settings or no log file under $appdata/Vidarro"
fi
grep -q '^\[yt_urls\]' "$settings" || fail "sniffer.ini was not made from the installed template"
grep -q $'^D: .*\r$' "${logs[0]}" || fail "the log ${logs[0]} holds no debug line ending in CR LF"
[[ $(md5sum <"$appdir/sniffer_linux.ini") == "$template_sum" ]] || fail "the installed template changed"
echo "installed program started: $(basename "$settings"), $(basename "${logs[0]}") ($(wc -l <"${logs[0]}") lines)"

"${as_root[@]}" apt-get purge -y -qq vidarro >/dev/null
[[ ! -e /usr/bin/vidarro && ! -e $appdir/vidarro ]] || fail "the package left its program behind"
echo "package test passed"
