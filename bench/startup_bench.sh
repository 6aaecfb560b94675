#!/usr/bin/env bash
# Start-up benchmark of the desktop program against a bare Qt Widgets program
# with libcurl linked: time from process start to the first window being
# mapped, and resident memory after a second of idling, on a private Xvfb
# display. The programs take turns, KORVALUX_BENCH_RUNS times each (20 by
# default); the medians and their ratios are printed. Goals: start-up at most
# 1.1 times the bare program's, resident memory at most 40 MB. The bare
# program with one label shows what the fonts alone cost, which an empty
# window never pays.
#
# usage: startup_bench.sh KORVALUX BARE-QT MAP-TIMER
set -euo pipefail
korvalux=$1 bare=$2 map_timer=$3
runs=${KORVALUX_BENCH_RUNS:-20}
idle_ms=${KORVALUX_BENCH_IDLE_MS:-1000}
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/xvfb.sh
source "$(dirname "$0")/../scripts/lib/xvfb.sh"

private_display_start
# Korvalux reads and writes its settings here; a browser is never opened.
isolate_korvalux

# One unmeasured start each, so both begin with warm file caches.
"$map_timer" 200 "$korvalux" >/dev/null
"$map_timer" 200 "$bare" >/dev/null
for (( i = 1; i <= runs; ++i )); do
  "$map_timer" "$idle_ms" "$korvalux" >>"$work/korvalux"
  "$map_timer" "$idle_ms" "$bare" >>"$work/bare"
  "$map_timer" "$idle_ms" "$bare" --text >>"$work/text"
done

median() { # column $1 of file $2
  sort -n -k"$1","$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
k_ms=$(median 1 "$work/korvalux") b_ms=$(median 1 "$work/bare")
k_kb=$(median 2 "$work/korvalux") b_kb=$(median 2 "$work/bare")
t_ms=$(median 1 "$work/text") t_kb=$(median 2 "$work/text")
awk -v runs="$runs" -v kms="$k_ms" -v bms="$b_ms" -v kkb="$k_kb" -v bkb="$b_kb" \
  -v tms="$t_ms" -v tkb="$t_kb" 'BEGIN {
  printf "start-up to mapped window, median of %d runs each:\n", runs
  printf "  korvalux   %8.1f ms   RSS %6.1f MB\n", kms, kkb / 1024
  printf "  bare Qt    %8.1f ms   RSS %6.1f MB\n", bms, bkb / 1024
  printf "  ratio      %8.2fx       RSS %6.2fx\n", kms / bms, kkb / bkb
  printf "  bare Qt with one label (fonts set up): %.1f ms, RSS %.1f MB; korvalux is %.2fx that\n",
    tms, tkb / 1024, kms / tms
  printf "  goals: start-up ratio <= 1.10 (%s), korvalux RSS <= 40 MB (%s)\n",
    (kms / bms <= 1.10 ? "met" : "NOT met"), (kkb / 1024 <= 40 ? "met" : "NOT met")
}'
