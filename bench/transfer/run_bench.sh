#!/usr/bin/env bash
# Fetches a 1 GB file from a local server with our transfer and with
# `curl -o`, in the same run, and prints the throughput ratio and the memory
# our transfer needs on top of its idle size.
# Usage: bench/transfer/run_bench.sh [build dir]   (default build/release, else build/dev)
# VIDARRO_BENCH_MB sets the file size (1024), VIDARRO_BENCH_ROUNDS the rounds (3);
# the best round of each client counts.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  build=$root/build/release
  [[ -x $build/bench/bench_transfer ]] || build=$root/build/dev
fi
bench=$build/bench/bench_transfer
[[ -x $bench ]] || { echo "build bench_transfer first ($bench)" >&2; exit 1; }
size_mb=${VIDARRO_BENCH_MB:-1024}
rounds=${VIDARRO_BENCH_ROUNDS:-3}

work=$(mktemp -d)
server=
cleanup() {
  exec 3>&- || true # the server leaves when its input closes
  if [[ -n $server ]]; then wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/site"
head -c $((size_mb * 1048576)) /dev/urandom > "$work/site/big.bin"
mkfifo "$work/input"
python3 "$root/tests/support/media_server.py" "$work/site" 127.0.0.1 0 < "$work/input" > "$work/port" &
server=$!
exec 3>"$work/input"
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
[[ -s $work/port ]] || { echo "local server did not start" >&2; exit 1; }
url="http://127.0.0.1:$(awk '{print $2}' "$work/port")/big.bin"

# One line per run: client wall user sys maxrss_kb [idle_kb peak_kb]
: > "$work/runs"
for round in $(seq "$rounds"); do
  /usr/bin/time -f "%e %U %S %M" -o "$work/t" curl -s -o "$work/copy.bin" "$url"
  cmp -s "$work/copy.bin" "$work/site/big.bin" || { echo "curl's copy differs" >&2; exit 1; }
  rm -f "$work/copy.bin"
  echo "curl $(cat "$work/t")" >> "$work/runs"

  line=$(/usr/bin/time -f "%e %U %S %M" -o "$work/t" "$bench" "$url" "$work/copy.bin")
  cmp -s "$work/copy.bin" "$work/site/big.bin" || { echo "our copy differs" >&2; exit 1; }
  rm -f "$work/copy.bin"
  idle=$(sed -n 's/.*idle_rss_kb=\([0-9]*\).*/\1/p' <<<"$line")
  peak=$(sed -n 's/.*peak_rss_kb=\([0-9]*\).*/\1/p' <<<"$line")
  echo "ours $(cat "$work/t") $idle $peak" >> "$work/runs"
done

python3 - "$work/runs" "$size_mb" <<'PY'
import os, sys
runs = [line.split() for line in open(sys.argv[1])]
mb = float(sys.argv[2])
def best(name, key):
    return min((r for r in runs if r[0] == name), key=key)
wall = lambda r: float(r[1])
cpu = lambda r: float(r[2]) + float(r[3])
for r in runs:
    print(f"{r[0]:5} wall {float(r[1]):6.2f} s  cpu {cpu(r):5.2f} s  max rss {int(r[4]) / 1024:6.1f} MB")
c, o = best("curl", wall), best("ours", wall)
print(f"best wall: curl {wall(c):.2f} s ({mb / wall(c):.0f} MB/s), ours {wall(o):.2f} s ({mb / wall(o):.0f} MB/s)")
print(f"throughput ratio ours/curl (wall): {wall(c) / wall(o):.2f}  (goal >= 0.90)")
cc, oc = best("curl", cpu), best("ours", cpu)
print(f"cpu time ratio curl/ours: {cpu(cc) / cpu(oc):.2f}  (1.00 = as cheap as curl)")
growth = max(int(r[6]) - int(r[5]) for r in runs if r[0] == "ours")
idle = min(int(r[5]) for r in runs if r[0] == "ours")
print(f"memory: idle rss {idle / 1024:.1f} MB, largest peak - idle {growth / 1024:.1f} MB  (goal < 20 MB)")
print(f"load average during the run: {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
PY
