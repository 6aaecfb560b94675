#!/usr/bin/env bash
# Throughput of korvalux-service against nginx serving a saved copy of one of its
# converter pages, on the same machine in the same run: wrk -t1 -c32 -d10s, three
# rounds alternating, req/s and p99 latency of both and their ratio; then 1,000
# connections held open at once against the service, which must see no errors.
# Everything listens on 127.0.0.1 only. Usage: service_bench.sh [korvalux-service]
# (BENCH_THREADS sets the serving threads of both, 1 by default.)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
service=${1:-$here/../build/werror/service/korvalux-service}
threads=${BENCH_THREADS:-1}
duration=${BENCH_SECONDS:-10}
[[ -x "$service" ]] || { echo "service_bench: no korvalux-service at $service" >&2; exit 1; }
command -v wrk >/dev/null && command -v nginx >/dev/null ||
  { echo "service_bench: needs wrk and nginx (scripts/install-deps)" >&2; exit 1; }

# 1,000 client sockets plus 1,000 server sockets.
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d -t korvalux-bench-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# The service, on a port of its own choosing.
"$service" --listen 127.0.0.1:0 --quiet --threads "$threads" --data-dir "$here/../service/data" \
  --cache-dir "$work/cache" 2>"$work/service.log" &
pids+=($!)
for _ in $(seq 100); do
  grep -q "listening on" "$work/service.log" && break
  sleep 0.1
done
sport=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/service.log")
[[ -n "$sport" ]] || { cat "$work/service.log" >&2; exit 1; }
path="/finance/converter?a=100&from=USD&to=EUR"

# nginx with a saved copy of the same page, the same worker count, no access log.
mkdir -p "$work/www/finance" "$work/tmp"
curl -sf "http://127.0.0.1:$sport$path" >"$work/www/finance/converter"
chmod -R go+rX "$work" # nginx's workers run as another user when started by root
nport=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes $threads;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 4096; }
http {
  access_log off;
  # A well-tuned baseline: no reconnects every 1000 requests, no open() per request.
  keepalive_requests 1000000;
  open_file_cache max=16;
  client_body_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$nport;
    root $work/www;
    location / { default_type "text/html; charset=windows-1252"; }
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" -e "$work/nginx-error.log" &
pids+=($!)
for _ in $(seq 100); do
  curl -sf "http://127.0.0.1:$nport$path" >/dev/null && break
  sleep 0.1
done
cmp -s <(curl -s "http://127.0.0.1:$nport$path") <(curl -s "http://127.0.0.1:$sport$path") ||
  { echo "service_bench: the two servers do not answer the same page" >&2;
    cat "$work/nginx-error.log" >&2; exit 1; }

# "Requests/sec" and the 99th percentile in ms of one wrk run.
measure() {
  local out rps p99
  out=$(wrk -t1 -c32 -d"${duration}s" --latency "$1")
  if grep -qE "Socket errors|Non-2xx" <<<"$out"; then
    echo "service_bench: errors against $1:" >&2
    echo "$out" >&2
    exit 1
  fi
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {v=$2; u=v; sub(/[0-9.]+/, "", u); sub(/[a-z]+$/, "", v);
               if (u == "us") v /= 1000; else if (u == "s") v *= 1000; print v}' <<<"$out")
  echo "$rps $p99"
}

echo "korvalux-service on :$sport, nginx on :$nport, $threads thread(s) each, page of" \
  "$(wc -c <"$work/www/finance/converter") bytes"
printf '%-6s %-18s %14s %10s\n' round server req/s p99/ms
declare -a srps sp99 nrps np99
for round in 1 2 3; do
  read -r r p < <(measure "http://127.0.0.1:$nport$path")
  nrps+=("$r"); np99+=("$p")
  printf '%-6s %-18s %14s %10s\n' "$round" nginx "$r" "$p"
  read -r r p < <(measure "http://127.0.0.1:$sport$path")
  srps+=("$r"); sp99+=("$p")
  printf '%-6s %-18s %14s %10s\n' "$round" korvalux-service "$r" "$p"
done
mean() { printf '%s\n' "$@" | awk '{s += $1} END {printf "%.2f", s / NR}'; }
sr=$(mean "${srps[@]}"); nr=$(mean "${nrps[@]}")
echo "mean   nginx            $nr req/s, p99 $(mean "${np99[@]}") ms"
echo "mean   korvalux-service $sr req/s, p99 $(mean "${sp99[@]}") ms"
echo "ratio  korvalux-service / nginx = $(awk -v a="$sr" -v b="$nr" 'BEGIN {printf "%.3f", a / b}')" \
  "(goal >= 1.0, p99 <= 2 ms)"

# 1,000 connections at once: all established together, no socket errors.
wrk -t2 -c1000 -d8s --timeout 10s "http://127.0.0.1:$sport$path" >"$work/wrk1000.txt" &
wrkpid=$!
sleep 4
held=$(ss -Htn state established "( sport = :$sport )" | wc -l)
wait "$wrkpid"
if grep -qE "Socket errors|Non-2xx" "$work/wrk1000.txt"; then
  cat "$work/wrk1000.txt"
  echo "1000 connections: FAILED with errors"
  exit 1
fi
echo "1000 connections: $held held open at once, $(awk '/requests in/ {print $1}' "$work/wrk1000.txt")" \
  "requests, no errors"
[[ "$held" -ge 1000 ]] || { echo "1000 connections: only $held were open at once"; exit 1; }
