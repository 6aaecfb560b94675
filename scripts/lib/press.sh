# The first-press measurement shared by the first-press benchmarks: the processes
# listening in this (private) network namespace, one timed press of Convert in a
# fresh window, and a median. Needs xdotool, xclip and a display (xvfb.sh).
# Sourced, not run.
# shellcheck shell=bash

# The PIDs of whatever listens on loopback TCP in this namespace; on port $1 only
# when given.
# shellcheck disable=SC2120
listeners() {
  ss -ltnpH ${1:+"sport = :$1"} | sed -n 's/.*pid=\([0-9]*\).*/\1/p' | sort -u
}

# Starts the window (the command line given), types 1.00 and presses Convert, then Copy To Clipboard;
# prints the milliseconds from the Convert key to the sentence on the clipboard,
# a tab, and the sentence. Fails when the sentence is not a conversion.
press_once() {
  "$@" >/dev/null 2>&1 &
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
  [[ "$text" == "1.00 USD = "* ]] || { echo "press_once: got '$text'" >&2; return 1; }
  printf '%s\t%s\n' $(((t1 - t0) / 1000000)) "$text"
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
