#!/usr/bin/env bash
# Driver checks beyond the dev and asan runs: a fuzz run of each parser of
# tool output (title, format listing, progress, update line) and of the
# health line (launcher, ffmpeg, last update), all five at
# once for VIDARRO_FUZZ_SECONDS (60) each. Builds in the fuzz preset's
# folder, which 40-capture.sh has configured and partly built already.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${VIDARRO_FUZZ_SECONDS:-60}
parsers=(title formats progress update health)

echo "--- fuzzing the tool-output parsers for ${seconds} s each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${parsers[@]/#/fuzz_tool_}"

fuzz() {
  local parser=$1 work=build/fuzz/tool-fuzz/$1
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
  if ! build/fuzz/bin/fuzz_tool_"$parser" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" tests/YTSniffer/fuzz/corpus/"$parser" \
      2>"$work/log"; then
    tail -n 60 "$work/log"
    return 1
  fi
  echo "$parser: $(grep -E '^stat::number_of_executed_units' "$work/log" || true)"
}

pids=()
for parser in "${parsers[@]}"; do
  fuzz "$parser" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
exit "$status"
