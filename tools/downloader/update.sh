#!/bin/sh
# Keeps this user's own copy of the downloader (yt-dlp) current and verified.
#
#   update.sh              fetch the release, verify it, install it
#   update.sh --rollback   put the copy before the last update back
#
# The copy lives in "tools/yt-dlp" of the per-user folder ($APPDATA/Vidarro,
# else the XDG data folder /Vidarro); "run" prefers it to the one on PATH.
# From the release address (VIDARRO_TOOL_RELEASE_URL, default the latest
# stable release) come "yt-dlp", "SHA2-256SUMS" and "SHA2-256SUMS.sig". The
# sums must carry a good signature by the release key (VIDARRO_TOOL_KEY,
# default the key shipped beside this script) and the tool must match its
# sum and answer --version before it replaces anything. Whatever fails
# leaves the installed copy as it was.
#
# Exit code 0 and, as the last line, the line the application shows:
#   yt-dlp VERSION is up to date
#   yt-dlp OLD was updated to NEW
# Any failure: a non-zero exit code and a one-line reason as the last line.
# "tools/last-update" keeps the time, exit code and last line of the latest run.
#
# Nothing a server sends ever becomes part of a command: it is only written
# to files, hashed and compared.

umask 022
LC_ALL=C
export LC_ALL

here=$(cd "$(dirname "$0")" && pwd)
release=${VIDARRO_TOOL_RELEASE_URL:-https://github.com/yt-dlp/yt-dlp/releases/latest/download}
release=${release%/}
key=${VIDARRO_TOOL_KEY:-$here/yt-dlp-release-key.asc}

if [ -n "${APPDATA:-}" ]; then
    base=$APPDATA
else
    case ${XDG_DATA_HOME:-} in
    /*) base=$XDG_DATA_HOME ;;
    *) base=${HOME:-/nonexistent}/.local/share ;;
    esac
fi
tools=$base/Vidarro/tools
target=$tools/yt-dlp
previous=$tools/yt-dlp.previous
work=

finish() {
    status=$1
    shift
    echo "$*"
    [ -n "$work" ] && rm -rf "$work"
    if [ -d "$tools" ]; then
        printf '%s %s %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$status" "$*" >"$tools/last-update.new" &&
            mv -f "$tools/last-update.new" "$tools/last-update"
    fi
    exit "$status"
}
fail() { finish 1 "The update of yt-dlp failed: $*"; }

# One word, whatever the tool prints: it ends up in the last line.
version_of() {
    v=$(timeout 60 "$1" --version 2>/dev/null </dev/null | head -n 1 | tr -cd 'A-Za-z0-9._+-' | cut -c1-40)
    echo "${v:-none}"
}

installed_version() {
    v=none
    [ -f "$target" ] && [ -x "$target" ] && v=$(version_of "$target")
    if [ "$v" = none ] && command -v yt-dlp >/dev/null 2>&1; then
        v=$(version_of "$(command -v yt-dlp)")
    fi
    echo "$v"
}

mkdir -p "$tools" 2>/dev/null || { echo "The update of yt-dlp failed: cannot create $tools"; exit 1; }

if [ "${1:-}" = --rollback ]; then
    old=none
    [ -f "$previous" ] && old=$(version_of "$previous")
    [ "$old" != none ] || fail "there is no earlier copy that runs to go back to"
    now=$(installed_version)
    # The copy being replaced becomes the one to go back to.
    [ -f "$target" ] && { cp -p "$target" "$tools/.swap.$$" || fail "cannot copy $target"; }
    mv -f "$previous" "$target" || fail "cannot move $previous into place"
    [ -f "$tools/.swap.$$" ] && mv -f "$tools/.swap.$$" "$previous"
    finish 0 "yt-dlp $now was updated to $old"
fi
[ $# -eq 0 ] || fail "unknown argument (only --rollback is known)"

for program in curl gpgv sha256sum base64 timeout; do
    command -v "$program" >/dev/null 2>&1 || fail "$program is not installed"
done
[ -r "$key" ] || fail "the release key $key cannot be read"

# Beside the target, so that the final rename is atomic. Work folders of
# runs that were killed outright are cleared after an hour.
find "$tools" -maxdepth 1 -name '.update.*' -mmin +60 -exec rm -rf {} + 2>/dev/null
work=$(mktemp -d "$tools/.update.XXXXXX") || fail "cannot create a work folder in $tools"
trap 'fail "interrupted"' HUP INT TERM

fetch() {
    curl --fail --silent --show-error --location --proto '=https,http' --proto-redir '=https,http' \
        --connect-timeout 20 --max-time "$2" --max-filesize 200000000 \
        -o "$work/$1" -- "$release/$1" 2>"$work/curl.err" ||
        fail "cannot download $1: $(tr -d '\r' <"$work/curl.err" | tr '\n' ' ' | cut -c1-200)"
}

# gpgv reads binary keys only: an armored key is unwrapped here.
if grep -q '^-----BEGIN PGP PUBLIC KEY BLOCK-----' "$key"; then
    awk '/^-----BEGIN PGP PUBLIC KEY BLOCK-----/ { state = 1; next }
         /^-----END PGP PUBLIC KEY BLOCK-----/ { exit }
         state == 1 && /^[A-Za-z-]+: / { next }
         state == 1 && /^[ \t\r]*$/ { state = 2; next }
         state >= 1 && /^=/ { next }
         state >= 1 { sub(/\r$/, ""); print }' "$key" | base64 -d >"$work/key.gpg" 2>/dev/null ||
        fail "the release key $key is not a readable key"
else
    cp "$key" "$work/key.gpg" || fail "the release key $key cannot be read"
fi

fetch SHA2-256SUMS 60
fetch SHA2-256SUMS.sig 60
gpgv --homedir "$work" --keyring "$work/key.gpg" "$work/SHA2-256SUMS.sig" "$work/SHA2-256SUMS" \
    >"$work/gpgv.out" 2>&1 || fail "the signature of SHA2-256SUMS is not good"

# The line of "yt-dlp" (a "*" marks binary mode): 64 hex digits or nothing.
sum=$(awk '($2 == "yt-dlp" || $2 == "*yt-dlp") && $1 ~ /^[0-9a-fA-F]+$/ && length($1) == 64 { print tolower($1); exit }' \
    "$work/SHA2-256SUMS")
[ -n "$sum" ] || fail "SHA2-256SUMS has no line for yt-dlp"

if [ -f "$target" ] && [ "$(sha256sum <"$target" | cut -c1-64)" = "$sum" ]; then
    now=$(version_of "$target")
    [ "$now" != none ] && finish 0 "yt-dlp $now is up to date"
fi

old=$(installed_version)
fetch yt-dlp 600
[ "$(sha256sum <"$work/yt-dlp" | cut -c1-64)" = "$sum" ] ||
    fail "the downloaded yt-dlp does not match its checksum (cut short or altered)"
chmod 755 "$work/yt-dlp" || fail "cannot make the new copy runnable"
new=$(version_of "$work/yt-dlp")
[ "$new" != none ] || fail "the new copy does not run"

if [ -f "$target" ]; then
    cp -p "$target" "$work/previous" && mv -f "$work/previous" "$previous" ||
        fail "cannot keep the current copy for a rollback"
fi
mv -f "$work/yt-dlp" "$target" || fail "cannot move the new copy into place"
if [ "$old" = "$new" ]; then
    finish 0 "yt-dlp $new is up to date"
fi
finish 0 "yt-dlp $old was updated to $new"
