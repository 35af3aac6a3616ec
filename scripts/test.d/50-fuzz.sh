#!/usr/bin/env bash
# A fuzz run of every parser of untrusted input: packets, native-messaging
# frames, manifests and each kind of tool output (title, formats, progress,
# update line, subtitle languages, health readers). All targets are built in one
# go and run side by side for VIDARRO_FUZZ_SECONDS (40) each; a crash prints
# the end of that target's log and fails the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${VIDARRO_FUZZ_SECONDS:-40}

# target  seed corpus
fuzzers=(
  "fuzz_media_detector tests/capture/fuzz/corpus"
  "fuzz_browser_messages tests/browser/fuzz/corpus"
  "fuzz_manifests tests/streams/fuzz/corpus"
  "fuzz_tool_title tests/YTSniffer/fuzz/corpus/title"
  "fuzz_tool_formats tests/YTSniffer/fuzz/corpus/formats"
  "fuzz_tool_progress tests/YTSniffer/fuzz/corpus/progress"
  "fuzz_tool_update tests/YTSniffer/fuzz/corpus/update"
  "fuzz_tool_subtitles tests/YTSniffer/fuzz/corpus/subtitles"
  "fuzz_tool_entries tests/YTSniffer/fuzz/corpus/entries"
  "fuzz_tool_health tests/YTSniffer/fuzz/corpus/health"
)

cmake --preset fuzz >/dev/null
targets=()
for entry in "${fuzzers[@]}"; do targets+=("${entry%% *}"); done
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"
# "build": only configure and build (scripts/test does it while the suites run).
[[ ${1:-} != build ]] || exit 0

fuzz() {
  local target=$1 seeds=$2 work=build/fuzz/runs/$1
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
  if ! build/fuzz/bin/"$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" "$seeds" 2>"$work/log"; then
    echo "--- $target failed"
    tail -n 60 "$work/log"
    return 1
  fi
  echo "$target: $(grep -E '^stat::number_of_executed_units' "$work/log" | tr -s ' ' || true)"
}

echo "--- fuzzing ${#fuzzers[@]} parsers for ${seconds} s each, side by side"
pids=()
for entry in "${fuzzers[@]}"; do
  fuzz ${entry} &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit "$status"
