# The keys a user presses in the Korvalux window to convert and copy, shared by
# the run command and the desktop end-to-end test so that both drive the window
# the same way. Needs xdotool and xclip, and the window focused with the amount
# box selected, as Korvalux opens. Sourced, not run.
# shellcheck shell=bash

# Types amount $1, then picks the source and target currencies by the start of
# their names ($2, $3). A list looks for what is typed from the entry after the
# chosen one, so Home first; a blank would open the list's popup instead.
type_conversion() {
  xdotool type --delay 60 "$1"
  xdotool key Tab Home
  xdotool type --delay 40 "$2"
  sleep 0.6 # the list's type-ahead forgets after a pause; the next list starts afresh
  xdotool key Tab Home
  xdotool type --delay 40 "$3"
  sleep 0.6
}

# Tabs $1 times to Convert, presses it, tabs on to Copy To Clipboard, presses
# that, and prints the clipboard once it holds text (nothing after 30 s).
convert_and_copy() {
  local i tabs=() text=""
  for (( i = 0; i < $1; ++i )); do tabs+=(Tab); done
  xdotool key --delay 80 "${tabs[@]}" space Tab Tab space
  for i in $(seq 300); do
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    [[ -n "$text" ]] && break
    sleep 0.1
  done
  printf '%s' "$text"
}
