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
source scripts/lib/press.sh
[[ -x build/release/service/korvalux-service ]] && export PATH="$PWD/build/release/service:$PATH"

private_display_start
isolate_korvalux

cold=() warm=()
for _ in $(seq "$runs"); do
  mapfile -t started < <(listeners)
  [[ ${#started[@]} -eq 0 ]] || stop_pids "${started[@]}"
  cold+=("$(press_once "$korvalux" | cut -f1)")
done
for _ in $(seq "$runs"); do warm+=("$(press_once "$korvalux" | cut -f1)"); done
mapfile -t started < <(listeners)
[[ ${#started[@]} -eq 0 ]] || stop_pids "${started[@]}"

echo "first press, no service running: median $(printf '%s\n' "${cold[@]}" | median) ms (${cold[*]})"
echo "press with the service running:   median $(printf '%s\n' "${warm[@]}" | median) ms (${warm[*]})"
echo "(both include about 30 ms of the Copy key and clipboard polling)"
