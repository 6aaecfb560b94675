#!/usr/bin/env bash
# Times the first press of Convert with no converter service running (the window
# starts korvalux-service itself and asks again) beside a press with the service
# already running: milliseconds from the Convert key to the sentence on the
# clipboard (a Copy press queued behind it), median of N runs each. Runs in a
# private network namespace (unshare, as root), so the compiled-in port is free
# and every service the windows start stays there; they are ended by PID.
# Usage: bench/first_press_bench.sh [path/to/korvalux [runs]]
#   default build/release/app/korvalux with build/release/service first on PATH
set -euo pipefail
cd "$(dirname "$0")/.."
korvalux=$(realpath "${1:-build/release/app/korvalux}")
runs=${2:-10}
[[ -x "$korvalux" ]] || { echo "first_press_bench: no program at $korvalux" >&2; exit 1; }
if [[ -z "${KORVALUX_BENCH_NETNS:-}" ]]; then
  KORVALUX_BENCH_NETNS=1 exec unshare --net -- "$0" "$korvalux" "$runs"
fi
ip link set lo up
source scripts/lib/xvfb.sh
[[ -x build/release/service/korvalux-service ]] && export PATH="$PWD/build/release/service:$PATH"

private_display_start
isolate_korvalux

# The PID of whatever listens on a loopback TCP port in this namespace.
listeners() { ss -ltnpH | sed -n 's/.*pid=\([0-9]*\).*/\1/p' | sort -u; }

press_once() {
  "$korvalux" >/dev/null 2>&1 &
  local k=$! window t0 t1 text=""
  window=$(wait_for_window "$k" 30)
  xdotool windowfocus --sync "$window"
  sleep 0.3 # the amount box takes the focus once the window is active
  printf '' | xclip -selection clipboard -i
  xdotool type --delay 20 "1.00"
  xdotool key --delay 20 Tab Tab Tab # to Convert, past both lists
  sleep 0.3
  t0=$(date +%s%N)
  xdotool key --delay 5 space Tab Tab space
  for _ in $(seq 4000); do
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    [[ -n "$text" ]] && break
    sleep 0.002
  done
  t1=$(date +%s%N)
  stop_pids "$k"
  [[ "$text" == "1.00 USD = "* ]] || { echo "first_press_bench: got '$text'" >&2; return 1; }
  echo $(((t1 - t0) / 1000000))
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }

cold=() warm=()
for _ in $(seq "$runs"); do
  mapfile -t started < <(listeners)
  [[ ${#started[@]} -eq 0 ]] || stop_pids "${started[@]}"
  cold+=("$(press_once)")
done
for _ in $(seq "$runs"); do warm+=("$(press_once)"); done
mapfile -t started < <(listeners)
[[ ${#started[@]} -eq 0 ]] || stop_pids "${started[@]}"

echo "first press, no service running: median $(printf '%s\n' "${cold[@]}" | median) ms (${cold[*]})"
echo "press with the service running:   median $(printf '%s\n' "${warm[@]}" | median) ms (${warm[*]})"
echo "(both include about 30 ms of the Copy key and clipboard polling)"
