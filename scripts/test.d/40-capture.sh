#!/usr/bin/env bash
# Capture checks beyond the dev and asan runs: the capture tests under
# ThreadSanitizer (capture threads share the callback and the ignore lists)
# and a short fuzz run of the packet analysis. About three minutes on two
# cores, most of it building.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc)
seconds=${VIDARRO_FUZZ_SECONDS:-60}

echo "--- capture tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target tst_mediadetector tst_interfacerules tst_videosniffer
ctest --preset tsan -L capture

echo "--- fuzzing the packet analysis for ${seconds} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target fuzz_media_detector
work=build/fuzz/capture-fuzz
rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
build/fuzz/bin/fuzz_media_detector -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" tests/capture/fuzz/corpus 2>"$work/log" \
  || { tail -n 60 "$work/log"; exit 1; }
grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
