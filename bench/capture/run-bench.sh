#!/usr/bin/env bash
# Times the media analysis over a large generated capture file against a bare
# read of the same file and against other readers, and prints the ratios;
# floods the table of followed connections; measures a live loopback transfer.
# Usage: bench/capture/run-bench.sh [BUILD_DIR] [MEGABYTES]   (live part needs root)
set -euo pipefail
build=${1:-build/release}
megabytes=${2:-1100}
tool=$build/bin/capture_tool
file=${VIDARRO_BENCH_FILE:-/tmp/vidarro-capture-bench.pcap}
[[ -x $tool ]] || { echo "build capture_tool first: cmake --build --preset release --target capture_tool" >&2; exit 1; }

if [[ ! -s $file ]]; then
  "$tool" generate "$file" "$megabytes"
fi
echo "== file $(du -h "$file" | cut -f1)"

"$tool" bench "$file" | tee /tmp/vidarro-capture-bench.txt
ours=$(awk '/^media analysis:/ {print $3}' /tmp/vidarro-capture-bench.txt)
bare=$(awk '/^bare pcap_next_ex loop:/ {print $4}' /tmp/vidarro-capture-bench.txt)

best() { # best wall time of three runs of a command, in seconds
  local bestTime=
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N)
    bestTime=$(echo "$start $end ${bestTime:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
  done
  echo "$bestTime"
}

report() {
  local name=$1 seconds=$2
  echo "$name: ${seconds} s; analysis/this speed ratio $(echo "$seconds $ours" | awk '{printf "%.2f", $1 / $2}')"
}

report "tcpdump -r FILE -w /dev/null" "$(best tcpdump -r "$file" -w /dev/null)"
if command -v httpry >/dev/null; then
  report "httpry -r FILE" "$(best httpry -r "$file" -o /dev/null)"
fi
if command -v tshark >/dev/null; then
  report "tshark -r FILE -Y http.request" "$(best tshark -r "$file" -Y http.request)"
fi
echo "bare loop: ${bare} s, analysis: ${ours} s"

echo "== segment flood: a manifest per host, then only segments"
segfile=${file%.pcap}-segments.pcap
if [[ ! -s $segfile ]]; then
  "$tool" generate "$segfile" "$megabytes" segments
fi
"$tool" bench "$segfile" | tee /tmp/vidarro-capture-segments.txt

echo "== connection table under a flood"
"$tool" flood 100000

if [[ $(id -u) == 0 ]]; then
  echo "== live loopback transfer"
  "$tool" live 1024
fi
