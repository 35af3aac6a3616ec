#!/usr/bin/env bash
# Pictures of the browser extension (its popup and the page's menu entry),
# from a real Chromium on a virtual X display.
#   tools/screenshots/take-extension.sh [OUTPUT_FOLDER]   (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-docs/screenshots}")
build=build/dev
cmake --build "$build" --target vidarro-browser-host >/dev/null
xvfb-run -a -s "-screen 0 1000x700x24" python3 tools/screenshots/extension.py "$build" "$out"
ls "$out"/extension-*
