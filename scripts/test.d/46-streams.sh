#!/usr/bin/env bash
# A short fuzz run of the manifest readers and the grouping table. It builds
# into the fuzz tree that 40-capture.sh configured, so only the streams
# library and its fuzz target compile here.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${VIDARRO_FUZZ_SECONDS:-60}

echo "--- fuzzing the manifest readers for ${seconds} s"
[[ -f build/fuzz/CMakeCache.txt ]] || cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzz_manifests
work=build/fuzz/streams-fuzz
rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
build/fuzz/bin/fuzz_manifests -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" tests/streams/fuzz/corpus 2>"$work/log" \
  || { tail -n 60 "$work/log"; exit 1; }
grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
