#!/usr/bin/env bash
# Converter answers held for fresh rates, 1,000 at once: korvalux-service starts
# on its stale snapshot with --refresh against two feeds on 127.0.0.1 that accept
# and never answer, so every converter request waits until --refresh-wait after
# the start. Per run: when the last of the 1,000 was answered (from the start, and
# past the bound), the worst /healthz time meanwhile (a probe every 20 ms on a
# new connection, from a process of its own), and the service's CPU time over
# the hold (utime + stime from /proc/PID/stat). Each binary given is run in turn, ROUNDS times, alternating.
# Everything listens on 127.0.0.1; only processes started here are ended.
# Usage: held_answers_bench.sh korvalux-service [another-korvalux-service ...]
# (HELD sets the number of requests, 1000; WAIT the bound in s, 5; ROUNDS, 2;
# BENCH_THREADS the serving threads, 1.)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
held=${HELD:-1000}
wait_s=${WAIT:-5}
rounds=${ROUNDS:-2}
threads=${BENCH_THREADS:-1}
(($# > 0)) || { echo "usage: $0 korvalux-service [another ...]" >&2; exit 2; }
for bin in "$@"; do
  [[ -x "$bin" ]] || { echo "held_answers_bench: no program at $bin" >&2; exit 1; }
done
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d -t korvalux-held-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The stalling feed: accepts, reads, never answers; gone with this script.
python3 - "$work/feed.port" <<'PY' &
import socket, sys, threading, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 0)); s.listen(64)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
held = []
while True:
    c, _ = s.accept()
    held.append(c)  # kept open, never answered
PY
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/feed.port" ]] && break; sleep 0.05; done
feed=$(cat "$work/feed.port")

# The client: $held converter requests at once, then each answer's arrival.
cat >"$work/client.py" <<'PY'
import asyncio, sys, time
port, held, limit = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
started = float(sys.argv[4])  # the service's start, on the wall clock
request = b"GET /finance/converter?a=1&from=EUR&to=USD HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"

async def one():
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    writer.write(request)
    await writer.drain()
    data = await reader.read()
    writer.close()
    return time.time() - started, b"1.1415 USD" in data

async def main():
    results = await asyncio.wait_for(asyncio.gather(*(one() for _ in range(held))), limit)
    print(f"{max(t for t, _ in results):.3f} {sum(ok for _, ok in results)}")

asyncio.run(main())
PY

# The prober, a process of its own: /healthz on a new connection every 20 ms
# until the stop file appears (or `limit` seconds), then the worst time in ms.
cat >"$work/probe.py" <<'PY'
import os, socket, sys, time
port, limit, stop = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
worst, end = 0.0, time.monotonic() + limit
while not os.path.exists(stop) and time.monotonic() < end:
    t = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=limit) as c:
            c.sendall(b"GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            while c.recv(4096):
                pass
    except OSError:
        pass
    worst = max(worst, time.monotonic() - t)
    time.sleep(0.02)
print(f"{worst * 1000:.1f}")
PY

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

run() { # binary -> "last_s past_ms worst_healthz_ms cpu_ms answered"
  local bin=$1 pid start sport out t0 t1
  rm -rf "$work/cache" "$work/service.log"
  start=$(date +%s.%N)
  "$bin" --listen 127.0.0.1:0 --quiet --threads "$threads" --data-dir "$here/../service/data" \
    --cache-dir "$work/cache" --refresh --refresh-wait "$wait_s" \
    --ecb-url "http://127.0.0.1:$feed/ecb.xml" --daily-url "http://127.0.0.1:$feed/daily.json" \
    2>"$work/service.log" &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 200); do grep -q "listening on" "$work/service.log" && break; sleep 0.01; done
  sport=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/service.log")
  [[ -n "$sport" ]] || { cat "$work/service.log" >&2; exit 1; }
  grep -q "wait for fresh ones" "$work/service.log" ||
    { echo "held_answers_bench: the service holds no answer" >&2; exit 1; }
  rm -f "$work/stop"
  python3 "$work/probe.py" "$sport" $((wait_s + 30)) "$work/stop" >"$work/worst" &
  local prober=$!
  pids+=("$prober")
  t0=$(cpu_ticks "$pid")
  out=$(python3 "$work/client.py" "$sport" "$held" $((wait_s + 20)) "$start")
  t1=$(cpu_ticks "$pid")
  touch "$work/stop"
  wait "$prober" || true
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  read -r last answered <<<"$out"
  worst=$(cat "$work/worst")
  awk -v l="$last" -v w="$wait_s" -v h="$worst" -v c=$((t1 - t0)) -v k="$ticks" -v a="$answered" \
    'BEGIN {printf "%.3f %.0f %.1f %.0f %d\n", l, (l - w) * 1000, h, c * 1000 / k, a}'
}

label() { local b=$1; ((${#b} > 40)) && b=...${b: -37}; echo "$b"; }
printf '%-6s %-40s %9s %9s %12s %8s %9s\n' round program "last/s" "past/ms" "healthz/ms" "cpu/ms" answered
declare -A sum_last sum_worst sum_cpu
for round in $(seq "$rounds"); do
  for bin in "$@"; do
    read -r last past worst cpu answered < <(run "$bin")
    printf '%-6s %-40s %9s %9s %12s %8s %9s\n' "$round" "$(label "$bin")" "$last" "$past" "$worst" \
      "$cpu" "$answered/$held"
    sum_last[$bin]=$(awk -v a="${sum_last[$bin]:-0}" -v b="$last" 'BEGIN {print a + b}')
    sum_worst[$bin]=$(awk -v a="${sum_worst[$bin]:-0}" -v b="$worst" 'BEGIN {print a + b}')
    sum_cpu[$bin]=$(awk -v a="${sum_cpu[$bin]:-0}" -v b="$cpu" 'BEGIN {print a + b}')
  done
done
for bin in "$@"; do
  awk -v n="$rounds" -v l="${sum_last[$bin]}" -v h="${sum_worst[$bin]}" -v c="${sum_cpu[$bin]}" \
    -v b="$(label "$bin")" 'BEGIN {printf "mean   %-40s last %.3f s, worst /healthz %.1f ms, cpu %.0f ms\n",
      b, l / n, h / n, c / n}'
done
echo "($held held, bound ${wait_s} s after the start, $threads serving thread(s))"
