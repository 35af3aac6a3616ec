#!/bin/sh
# Brings the downloader (yt-dlp) up to date where this user can do so.
# A copy that the system's package manager installed is left to it.
# Exits non-zero only when an update was tried and failed, or when there is
# no yt-dlp at all (then no download can work). After a success the last
# line is the one the application shows:
#   yt-dlp VERSION is up to date
#   yt-dlp OLD was updated to NEW

tool=$(command -v yt-dlp 2>/dev/null)
if [ -z "$tool" ]; then
    echo "yt-dlp is not installed. Install it with: sudo apt install yt-dlp"
    exit 1
fi
real=$(readlink -f "$tool" 2>/dev/null || echo "$tool")

# One word, whatever the tool prints: it ends up in that last line.
version_of() {
    v=$("$tool" --version 2>/dev/null | head -n 1 | tr -cd 'A-Za-z0-9._+-')
    echo "${v:-unknown}"
}
version=$(version_of)

if command -v dpkg >/dev/null 2>&1 && dpkg -S "$real" >/dev/null 2>&1; then
    echo "yt-dlp $version comes from the system's package manager, which keeps it current."
    echo "yt-dlp $version is up to date"
    exit 0
fi

if [ ! -w "$real" ]; then
    echo "yt-dlp $version at $real belongs to another user or the system; its owner keeps it current."
    echo "yt-dlp $version is up to date"
    exit 0
fi

echo "Updating yt-dlp $version at $real"
# A release binary updates itself; a pip installation says so and is
# updated through pip instead.
output=$("$tool" --ignore-config -U 2>&1)
status=$?
printf '%s\n' "$output"
case $output in
*pip*|*PyPi*|*PyPI*)
    python=$(head -n 1 "$real" | sed -n 's/^#! *\([^ ]*\).*/\1/p')
    [ -x "$python" ] || python=python3
    "$python" -m pip install --upgrade --user yt-dlp
    status=$?
    ;;
esac
if [ "$status" -ne 0 ]; then
    echo "The update of yt-dlp failed (exit code $status)."
    exit 1
fi
now=$(version_of)
if [ "$now" = "$version" ]; then
    echo "yt-dlp $now is up to date"
else
    echo "yt-dlp $version was updated to $now"
fi
exit 0
