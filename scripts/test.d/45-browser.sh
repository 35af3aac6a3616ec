#!/usr/bin/env bash
# Browser capture beyond the dev and asan runs: a short fuzz run of the
# native-messaging frame decoder and the message checks. Uses the fuzz build
# that 40-capture.sh configured, adding only this target to it.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${VIDARRO_FUZZ_SECONDS:-60}

echo "--- fuzzing the browser messages for ${seconds} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzz_browser_messages
work=build/fuzz/browser-fuzz
rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
build/fuzz/bin/fuzz_browser_messages -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" tests/browser/fuzz/corpus 2>"$work/log" \
  || { tail -n 60 "$work/log"; exit 1; }
grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
