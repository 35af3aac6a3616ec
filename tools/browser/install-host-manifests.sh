#!/usr/bin/env bash
# Installs the native-messaging host manifests for this user, naming a host
# program of a build tree, so Chromium, Chrome and Firefox let Vidarro's
# extension start it.
#
#   tools/browser/install-host-manifests.sh [--host PATH] [--profile DIR] [--remove]
#
#   --host PATH    the host program (default: build/dev/bin/vidarro-browser-host)
#   --profile DIR  only the Chromium manifest, into DIR/NativeMessagingHosts:
#                  a profile started with --user-data-dir=DIR (tests use this)
#   --remove       remove the manifests instead
#   --help         this text
#
# Then add the extension the build made beside the host, in
# build/dev/browser-extension (the package's is
# /usr/share/vidarro/browser-extension):
#   Chromium or Chrome: open chrome://extensions, switch on Developer mode,
#     choose Load unpacked and pick the folder browser-extension/chromium.
#   Firefox: open about:debugging, This Firefox, Load Temporary Add-on, and
#     pick browser-extension/firefox/manifest.json.
#
# Without --profile: ~/.config/chromium/NativeMessagingHosts/,
# ~/.config/google-chrome/NativeMessagingHosts/ and
# ~/.mozilla/native-messaging-hosts/. The packaged program has system-wide
# manifests of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
name=vidarro.browser_host
host="$source_dir/build/dev/bin/vidarro-browser-host"
profile=""
remove=0

while [[ $# -gt 0 ]]; do
  case $1 in
    --host) host=${2:?--host needs a path}; shift 2 ;;
    --profile) profile=${2:?--profile needs a folder}; shift 2 ;;
    --remove) remove=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
  esac
done

config=${XDG_CONFIG_HOME:-$HOME/.config}
if [[ -n $profile ]]; then
  targets=("chromium:$profile/NativeMessagingHosts")
else
  targets=("chromium:$config/chromium/NativeMessagingHosts"
           "chromium:$config/google-chrome/NativeMessagingHosts"
           "firefox:$HOME/.mozilla/native-messaging-hosts")
fi

if [[ $remove == 1 ]]; then
  for target in "${targets[@]}"; do
    rm -f "${target#*:}/$name.json"
  done
  exit 0
fi

# The browser runs exactly this path: absolute, executable, and plain
# enough to stand inside a JSON string without escaping.
[[ $host == /* ]] || host="$PWD/$host"
if [[ ! -x $host || -d $host ]]; then
  echo "no host program at $host (build it: cmake --build --preset dev --target vidarro-browser-host)" >&2
  exit 1
fi
if [[ $host == *[\"\\]* || $host =~ [[:cntrl:]] ]]; then
  echo "the host path holds a quote, a backslash or a control character: $host" >&2
  exit 1
fi

for target in "${targets[@]}"; do
  browser=${target%%:*} folder=${target#*:}
  template=$(<"$here/manifests/$browser.json.in")
  mkdir -p "$folder"
  printf '%s\n' "${template//@HOST_PATH@/"$host"}" >"$folder/$name.json.tmp"
  mv "$folder/$name.json.tmp" "$folder/$name.json"
  echo "installed $folder/$name.json"
done
[[ -n $profile ]] || echo "now add the extension from $(dirname "$(dirname "$host")")/browser-extension/chromium (or .../firefox) to the browser (steps: $0 --help)"
