#!/usr/bin/env bash
# Makes the Firefox form of the browser extension in OUT: the same files,
# with a manifest that loads the background files as scripts (Firefox runs
# no extension service workers) and without the Chromium key.
#
#   tools/browser/firefox-extension.sh OUT
#
# Load OUT/manifest.json in about:debugging -> This Firefox -> Load Temporary
# Add-on, or zip OUT's contents into an .xpi. Chromium loads
# browser/extension itself: it stalls its first page when a manifest names
# background scripts beside the service worker, so the two cannot share one.
set -euo pipefail
out=${1:?usage: firefox-extension.sh OUT}
source=$(cd "$(dirname "$0")/../../browser/extension" && pwd)
mkdir -p "$out"
cp "$source"/*.js "$source"/*.html "$out"/
python3 - "$source" "$out" <<'PY'
import json, re, sys
source, out = sys.argv[1:3]
with open(f"{source}/manifest.json") as f:
    manifest = json.load(f)
with open(f"{source}/background.js") as f:
    loaded = re.search(r"importScripts\(([^)]*)\)", f.read()).group(1)
scripts = re.findall(r'"([^"]+)"', loaded) + [manifest["background"]["service_worker"]]
manifest["background"] = {"scripts": scripts}
for key in ("key", "minimum_chrome_version"):
    manifest.pop(key, None)
with open(f"{out}/manifest.json", "w") as f:
    json.dump(manifest, f, indent=2)
    f.write("\n")
PY
echo "made the Firefox extension in $out"
