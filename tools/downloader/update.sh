#!/bin/sh
# Brings the downloader (yt-dlp) up to date where this user can do so.
# A copy that the system's package manager installed is left to it.
# Exits non-zero only when an update was tried and failed, or when there is
# no yt-dlp at all (then no download can work).

tool=$(command -v yt-dlp 2>/dev/null)
if [ -z "$tool" ]; then
    echo "yt-dlp is not installed. Install it with: sudo apt install yt-dlp"
    exit 1
fi
real=$(readlink -f "$tool" 2>/dev/null || echo "$tool")
version=$("$tool" --version 2>/dev/null | head -n 1)

if command -v dpkg >/dev/null 2>&1 && dpkg -S "$real" >/dev/null 2>&1; then
    echo "yt-dlp $version comes from the system's package manager, which keeps it current."
    exit 0
fi

if [ ! -w "$real" ]; then
    echo "yt-dlp $version at $real belongs to another user or the system; its owner keeps it current."
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
echo "yt-dlp is now $("$tool" --version 2>/dev/null | head -n 1)"
exit 0
