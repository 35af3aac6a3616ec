#!/bin/sh
# Keeps this user's own copy of the downloader (yt-dlp) current and verified.
#
#   update.sh              fetch the release, verify it, install it
#   update.sh --rollback   put the copy before the last update back
#   update.sh --rollback deno   the same for deno
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
# After a good update of the tool, this user's deno ("tools/deno", the
# JavaScript runtime the tool needs for some sites) is kept the same way when
# it is needed: the tool takes --js-runtimes and there is no node 20 or later
# on PATH, or a deno is there already. From VIDARRO_DENO_RELEASE_URL (default
# the runtime's latest release) come the zip for this machine and its
# ".sha256sum"; the zip must match the sum and its deno answer --version
# before it replaces anything (these releases carry no signature: the sum
# guards against a cut or altered download, https against the rest). The
# zip is fetched only when its sum differs from the one of the installed
# deno ("tools/deno.sha256"). Its result comes on a line of its own before
# the last one ("deno ..." as above, or "The update of deno failed: REASON",
# on standard error too) and as the second line of "tools/last-update". It
# never changes the exit code: that is the tool's.
#
# Every address is fetched over https; plain http only from this computer
# (127.0.0.0/8, ::1, localhost: a local mirror), and never once a hop was
# https. Redirects are followed one hop at a time so that each meets the same
# rule; one that breaks it is refused before anything is asked of it. The
# runtime has nothing but https to vouch for it, so a refused step of deno's
# carries the code 2 instead of 1 in "tools/last-update": not verified.
#
# Nothing a server sends ever becomes part of a command: it is only written
# to files, hashed and compared; a redirect's address only once it passed the
# rule above, as one argument of curl.

umask 022
LC_ALL=C
export LC_ALL

here=$(cd "$(dirname "$0")" && pwd)
release=${VIDARRO_TOOL_RELEASE_URL:-https://github.com/yt-dlp/yt-dlp/releases/latest/download}
release=${release%/}
key=${VIDARRO_TOOL_KEY:-$here/yt-dlp-release-key.asc}
runtime_release=${VIDARRO_DENO_RELEASE_URL:-https://github.com/denoland/deno/releases/latest/download}
runtime_release=${runtime_release%/}

if [ -n "${APPDATA:-}" ]; then
    base=$APPDATA
else
    case ${XDG_DATA_HOME:-} in
    /*) base=$XDG_DATA_HOME ;;
    *) base=${HOME:-/nonexistent}/.local/share ;;
    esac
fi
# The application names its folder; on its own, the script forms it the same way.
case ${VIDARRO_TOOLS:-} in
/*) tools=$VIDARRO_TOOLS ;;
*) tools=$base/Vidarro/tools ;;
esac
target=$tools/yt-dlp
previous=$tools/yt-dlp.previous
deno=$tools/deno
work=
runtime_status=
runtime_line=

finish() {
    status=$1
    shift
    [ -n "$runtime_line" ] && [ "$runtime_status" = 0 ] && echo "$runtime_line"
    echo "$*"
    [ -n "$work" ] && rm -rf "$work"
    if [ -d "$tools" ]; then
        now=$(date -u +%Y-%m-%dT%H:%M:%SZ)
        {
            printf '%s %s %s\n' "$now" "$status" "$*"
            if [ -n "$runtime_line" ]; then printf '%s %s %s\n' "$now" "$runtime_status" "$runtime_line"; fi
        } >"$tools/last-update.new" && mv -f "$tools/last-update.new" "$tools/last-update"
    fi
    exit "$status"
}
fail() { finish 1 "The update of yt-dlp failed: $*"; }

# One word, whatever the tool prints: it ends up in the last line.
version_of() {
    v=$(timeout 60 "$1" --version 2>/dev/null </dev/null | head -n 1 | tr -cd 'A-Za-z0-9._+-' | cut -c1-40)
    echo "${v:-none}"
}

# "deno 2.5.6 (stable, ...)": the version word, or none.
deno_version() {
    v=none
    [ -f "$1" ] && v=$(timeout 60 "$1" --version 2>/dev/null </dev/null | head -n 1 |
        sed -n 's/^deno \([0-9][0-9]*\.[0-9][0-9A-Za-z.+-]*\).*/\1/p' | cut -c1-40)
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
# Work folders of runs that were killed outright are cleared after an hour;
# -H: "tools" may be a link to a folder elsewhere.
find -H "$tools" -mindepth 1 -maxdepth 1 -name '.update.*' -mmin +60 -exec rm -rf {} + 2>/dev/null

# FILE.previous takes FILE's place; the copy being replaced becomes the one to go back to.
swap_back() {
    if [ -f "$1" ]; then cp -p "$1" "$tools/.swap.$$" || return 1; fi
    mv -f "$1.previous" "$1" || return 1
    if [ -f "$tools/.swap.$$" ]; then mv -f "$tools/.swap.$$" "$1.previous"; fi
}

if [ "$*" = "--rollback deno" ]; then
    old=$(deno_version "$deno.previous")
    [ "$old" != none ] || finish 1 "The rollback of deno failed: there is no earlier deno that runs to go back to"
    now=$(deno_version "$deno")
    swap_back "$deno" || finish 1 "The rollback of deno failed: cannot put the earlier deno back"
    # The next update fetches the release again.
    rm -f "$deno.sha256"
    finish 0 "deno $now was updated to $old"
fi
if [ "$*" = --rollback ]; then
    old=none
    [ -f "$previous" ] && old=$(version_of "$previous")
    [ "$old" != none ] || fail "there is no earlier copy that runs to go back to"
    now=$(installed_version)
    swap_back "$target" || fail "cannot put the earlier copy back"
    finish 0 "yt-dlp $now was updated to $old"
fi
[ $# -eq 0 ] || fail "unknown argument (only --rollback and --rollback deno are known)"

for program in curl gpgv sha256sum base64 timeout; do
    command -v "$program" >/dev/null 2>&1 || fail "$program is not installed"
done
[ -r "$key" ] || fail "the release key $key cannot be read"

# Beside the target, so that the final rename is atomic.
work=$(mktemp -d "$tools/.update.XXXXXX") || fail "cannot create a work folder in $tools"
trap 'fail "interrupted"' HUP INT TERM

# allowed ADDRESS AFTER_HTTPS: sets proto to what curl may use for it, or
# refusal to why not. The host is read strictly (no user information, a
# loopback address only as written here) so that curl cannot take it for
# another one.
allowed() {
    proto='' refusal=''
    shown=$(printf '%s' "$1" | cut -c1-120)
    case $1 in
    *[[:space:][:cntrl:]\\]*) refusal="an address with blanks, control characters or backslashes" ;;
    [Hh][Tt][Tt][Pp][Ss]://?*) proto=https ;;
    [Hh][Tt][Tt][Pp]://?*)
        authority=${1#*://}
        authority=${authority%%[/?#]*}
        if [ -n "$2" ]; then
            refusal="$shown: plain http after https"
        elif printf '%s\n' "$authority" | grep -Eqi '^(localhost|\[::1\]|127(\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3})(:[0-9]{1,5})?$'; then
            proto=http
        else
            refusal="$shown: plain http is taken only from this computer"
        fi ;;
    *) refusal="$shown: not an https address" ;;
    esac
    [ -n "$proto" ]
}

# download ADDRESS NAME SECONDS: into the work folder; curl's word in curl.err,
# or why an address was refused (then the code 2, with nothing asked of it).
download() {
    url=$1/$2 secure='' hops=0
    while :; do
        if ! allowed "$url" "$secure"; then
            if [ "$hops" = 0 ]; then
                echo "refused $refusal" >"$work/curl.err"
            else
                echo "refused the redirect to $refusal" >"$work/curl.err"
            fi
            return 2
        fi
        [ "$proto" = https ] && secure=1
        answer=$(curl --fail --silent --show-error --proto "=$proto" --proto-redir "=$proto" \
            --connect-timeout 20 --max-time "$3" --max-filesize 200000000 \
            --write-out '%{http_code} %{redirect_url}' -o "$work/$2" -- "$url" 2>"$work/curl.err") || return 1
        case $answer in
        3[0-9][0-9]\ ?*) ;;
        3*) echo "the answer $answer names no address to go on to" >"$work/curl.err"; return 1 ;;
        *) return 0 ;;
        esac
        hops=$((hops + 1))
        [ "$hops" -le 10 ] || { echo "more than 10 redirects" >"$work/curl.err"; return 1; }
        url=${answer#* }
    done
}
curl_said() { tr -d '\r' <"$work/curl.err" | tr '\n' ' ' | cut -c1-200; }
fetch() {
    download "$release" "$1" "$2" && return
    # A refusal is this script's own word: on standard error too, as deno's are.
    [ $? = 2 ] && echo "The update of yt-dlp failed: cannot download $1: $(curl_said)" >&2
    fail "cannot download $1: $(curl_said)"
}
sum_of() { sha256sum <"$1" | cut -c1-64; }

# The runtime is needed when this user's deno is there (it is kept current),
# or when the tool takes one and no node 20 or later is on PATH.
runtime_needed() {
    [ -f "$deno" ] && return 0
    timeout 60 "$target" --ignore-config --help 2>/dev/null </dev/null |
        grep -q '^[[:space:]]*--js-runtimes' || return 1
    node=$(command -v node 2>/dev/null) || return 0
    major=$(timeout 60 "$node" --version 2>/dev/null </dev/null | head -n 1 | sed -n 's/^v\{0,1\}\([0-9]\{1,4\}\)\..*/\1/p')
    [ -z "$major" ] || [ "$major" -lt 20 ]
}

runtime_fail() {
    runtime_status=1
    runtime_line="The update of deno failed: $*"
    echo "$runtime_line" >&2
}

# runtime_download NAME SECONDS; a refused address leaves the runtime not verified.
runtime_download() {
    download "$runtime_release" "$1" "$2" && return
    [ $? = 2 ] && refused=2 || refused=1
    runtime_fail "cannot download $1: $(curl_said)"
    runtime_status=$refused
    return 1
}

# Same steps as the tool's, but a failure only leaves the runtime as it was.
keep_runtime() {
    runtime_needed || return 0
    trap 'runtime_fail interrupted; finish 0 "$tool_line"' HUP INT TERM
    case $(uname -sm) in
    "Linux x86_64") zip="deno-x86_64-unknown-linux-gnu.zip" ;;
    "Linux aarch64" | "Linux arm64") zip="deno-aarch64-unknown-linux-gnu.zip" ;;
    *) runtime_fail "there is no deno for $(uname -sm)"; return ;;
    esac
    command -v unzip >/dev/null 2>&1 || { runtime_fail "unzip is not installed"; return; }
    runtime_download "$zip.sha256sum" 60 || return
    # "HASH  NAME", or another platform's table of it: the first word of 64 hex digits.
    zip_sum=$(tr -d '\r' <"$work/$zip.sha256sum" | awk '{ for (i = 1; i <= NF; i++)
        if ($i ~ /^[0-9A-Fa-f]+$/ && length($i) == 64) { print tolower($i); exit } }')
    [ -n "$zip_sum" ] || { runtime_fail "$zip.sha256sum holds no checksum"; return; }
    old=$(deno_version "$deno")
    kept=
    [ -f "$deno.sha256" ] && read -r kept <"$deno.sha256"
    if [ "$old" != none ] && [ "$kept" = "$zip_sum" ]; then
        runtime_status=0 runtime_line="deno $old is up to date"
        return
    fi
    runtime_download "$zip" 900 || return
    [ "$(sum_of "$work/$zip")" = "$zip_sum" ] ||
        { runtime_fail "the downloaded $zip does not match its checksum (cut short or altered)"; return; }
    if ! mkdir "$work/unzipped" || ! unzip -q -o "$work/$zip" deno -d "$work/unzipped" >"$work/unzip.out" 2>&1; then
        runtime_fail "$zip holds no deno that can be unpacked"
        return
    fi
    chmod 755 "$work/unzipped/deno" || { runtime_fail "cannot make the new deno runnable"; return; }
    new=$(deno_version "$work/unzipped/deno")
    [ "$new" != none ] || { runtime_fail "the new deno does not run"; return; }
    if [ -f "$deno" ]; then
        ln -f "$deno" "$deno.previous" 2>/dev/null || cp -p "$deno" "$deno.previous" ||
            { runtime_fail "cannot keep the current deno for a rollback"; return; }
    fi
    mv -f "$work/unzipped/deno" "$deno" || { runtime_fail "cannot move the new deno into place"; return; }
    printf '%s\n' "$zip_sum" >"$deno.sha256"
    runtime_status=0
    if [ "$old" = "$new" ]; then
        runtime_line="deno $new is up to date"
    else
        runtime_line="deno $old was updated to $new"
    fi
}

# The tool is current: the runtime's step, then the tool's line as the last.
succeed() {
    tool_line=$*
    keep_runtime
    finish 0 "$tool_line"
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
    [ "$now" != none ] && succeed "yt-dlp $now is up to date"
fi

old=$(installed_version)
fetch yt-dlp 600
[ "$(sha256sum <"$work/yt-dlp" | cut -c1-64)" = "$sum" ] ||
    fail "the downloaded yt-dlp does not match its checksum (cut short or altered)"
chmod 755 "$work/yt-dlp" || fail "cannot make the new copy runnable"
new=$(version_of "$work/yt-dlp")
[ "$new" != none ] || fail "the new copy does not run"

if [ -f "$target" ] && ! { cp -p "$target" "$work/previous" && mv -f "$work/previous" "$previous"; }; then
    fail "cannot keep the current copy for a rollback"
fi
mv -f "$work/yt-dlp" "$target" || fail "cannot move the new copy into place"
if [ "$old" = "$new" ]; then
    succeed "yt-dlp $new is up to date"
fi
succeed "yt-dlp $old was updated to $new"
