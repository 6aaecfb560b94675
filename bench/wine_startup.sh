#!/usr/bin/env bash
# Start-up of korvalux.exe under Wine beside a bare Win32 window of eleven
# controls: time from process start to the first window mapped on a private
# Xvfb display, taking turns, KORVALUX_BENCH_RUNS times each (10 by default);
# the medians and their ratio are printed. Both run in one warm private prefix.
# usage: wine_startup.sh WINE-RUN KORVALUX.EXE BARE_WIN32.EXE MAP-TIMER
set -euo pipefail
wine_run=$1 korvalux=$2 bare=$3 map_timer=$4
runs=${KORVALUX_BENCH_RUNS:-10}
prefix=$(mktemp -d)
trap '"$wine_run" --prefix "$prefix" --stop; rm -rf "$prefix"' EXIT
unset DISPLAY
"$wine_run" --prefix "$prefix" --start
export DISPLAY=$(cat "$prefix/.korvalux-display")
"$wine_run" --prefix "$prefix" -- reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  </dev/null >/dev/null 2>&1 || true

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
once() { "$map_timer" 0 "$wine_run" --prefix "$prefix" -- "$1" | awk '{print $1}'; }
k=() b=()
for _ in $(seq "$runs"); do
  k+=("$(once "$korvalux")")
  b+=("$(once "$bare")")
done
km=$(printf '%s\n' "${k[@]}" | median)
bm=$(printf '%s\n' "${b[@]}" | median)
echo "start-up to mapped window under Wine, median of $runs runs each:"
echo "  korvalux.exe   $km ms  (${k[*]})"
echo "  bare Win32     $bm ms  (${b[*]})"
awk -v k="$km" -v b="$bm" 'BEGIN {printf "  ratio          %.2fx\n", k / b}'
