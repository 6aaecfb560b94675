#!/usr/bin/env bash
# The installed window's first press: on a private Xvfb display, with no
# converter service running and no systemd user session (as in a fresh root),
# Korvalux is opened, 1.00 typed, Convert and Copy To Clipboard pressed; the
# window starts korvalux-service itself, and the clipboard must hold the
# service's sentence, which is printed. Needs xvfb, xdotool and xclip.
#
# usage: packaging/check_first_press.sh [path/to/korvalux]   (default: korvalux on PATH)
set -euo pipefail
korvalux=${1:-$(command -v korvalux)}
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/xvfb.sh
source "$(dirname "$0")/../scripts/lib/xvfb.sh"
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/keys.sh
source "$(dirname "$0")/../scripts/lib/keys.sh"

port_in_use 127.0.0.1 8765 && { echo "check_first_press: 127.0.0.1:8765 is taken already" >&2; exit 1; }
private_display_start
isolate_korvalux
"$korvalux" >"$work/korvalux.log" 2>&1 &
pids+=("$!")
window=$(wait_for_window "${pids[-1]}" 30) || { cat "$work/korvalux.log" >&2; exit 1; }
xdotool windowfocus --sync "$window"
sleep 0.3 # the amount box takes the focus once the window is active
xdotool type --delay 40 "1.00"
sentence=$(convert_and_copy 3)
# The service the window started, found by its port, ends with the display.
mapfile -t -O "${#pids[@]}" pids < <(ss -ltnpH 'sport = 8765' 2>/dev/null | sed -n 's/.*pid=\([0-9]*\).*/\1/p')
echo "first press: $sentence"
[[ "$sentence" == "1.00 USD = "* ]] || { cat "$work/korvalux.log" >&2; exit 1; }
