#!/usr/bin/env bash
# Start-up of korvalux.exe under Wine beside a bare Win32 window of eleven
# controls: time from process start to the first window mapped on a private
# Xvfb display, taking turns, KORVALUX_BENCH_RUNS times each (10 by default);
# the medians and their ratio are printed. Both run in one warm private prefix.
# With a baseline korvalux.exe (an earlier build) it takes its turn too, and
# both ratios are printed side by side. Each run meets no service: it runs in
# a private network namespace (unshare, as root), and the korvalux-service.exe
# a window started at load is ended by its PID before the next run.
# usage: wine_startup.sh WINE-RUN KORVALUX.EXE BARE_WIN32.EXE MAP-TIMER [BASELINE.EXE]
set -euo pipefail
if [[ -z "${KORVALUX_BENCH_NETNS:-}" ]]; then
  KORVALUX_BENCH_NETNS=1 exec unshare --net -- "$0" "$@"
fi
ip link set lo up
wine_run=$1 korvalux=$2 bare=$3 map_timer=$4 baseline=${5:-}
runs=${KORVALUX_BENCH_RUNS:-10}
source "$(dirname "$0")/../scripts/lib/xvfb.sh"
source "$(dirname "$0")/../scripts/lib/wine_install.sh"
prefix=$(mktemp -d)
end_services() {
  local found
  read -ra found <<<"$(service_pids "$prefix")"
  [[ ${#found[@]} -eq 0 ]] || stop_pids "${found[@]}"
}
trap 'end_services; "$wine_run" --prefix "$prefix" --stop; rm -rf "$prefix"' EXIT
unset DISPLAY
"$wine_run" --prefix "$prefix" --start
export DISPLAY=$(cat "$prefix/.korvalux-display")
"$wine_run" --prefix "$prefix" -- reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  </dev/null >/dev/null 2>&1 || true

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
# Through a file, not a pipe: the service a window starts under Wine inherits
# the window's descriptors and would hold a pipe open.
once() {
  end_services
  "$map_timer" 0 "$wine_run" --prefix "$prefix" -- "$1" >"$prefix/.map-time"
  awk '{print $1}' "$prefix/.map-time"
}
k=() b=() o=()
for _ in $(seq "$runs"); do
  k+=("$(once "$korvalux")")
  b+=("$(once "$bare")")
  [[ -z "$baseline" ]] || o+=("$(once "$baseline")")
done
km=$(printf '%s\n' "${k[@]}" | median)
bm=$(printf '%s\n' "${b[@]}" | median)
echo "start-up to mapped window under Wine, median of $runs runs each:"
echo "  korvalux.exe   $km ms  (${k[*]})"
if [[ -n "$baseline" ]]; then
  om=$(printf '%s\n' "${o[@]}" | median)
  echo "  baseline       $om ms  (${o[*]})"
fi
echo "  bare Win32     $bm ms  (${b[*]})"
awk -v k="$km" -v b="$bm" 'BEGIN {printf "  ratio          %.2fx\n", k / b}'
[[ -z "$baseline" ]] || awk -v o="$om" -v b="$bm" 'BEGIN {printf "  baseline ratio %.2fx\n", o / b}'
