#!/usr/bin/env bash
# End-to-end run of the desktop program on a private Xvfb display: the real
# korvalux binary against the real korvalux-service (or, where the service is
# not built, the test's own page server) on the compiled-in host. It types an
# amount, picks two currencies by keyboard, converts, copies, reads the
# clipboard, closes the window, reads the settings file, then starts again and
# checks that the pair came back. Exit 77 (skipped) when a tool is missing or
# the converter port is taken by someone else.
#
# usage: desktop_e2e.sh KORVALUX HOST:PORT CLOSE-WINDOW-TOOL SERVICE-OR-EMPTY SERVICE-DATA FAKE-SERVER
set -euo pipefail
korvalux=$1 converter=$2 close_window=$3 service=$4 service_data=$5 fake_server=$6
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/xvfb.sh
source "$(dirname "$0")/../scripts/lib/xvfb.sh"
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/keys.sh
source "$(dirname "$0")/../scripts/lib/keys.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

for tool in Xvfb xdotool xclip; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
host=${converter%:*} port=${converter##*:}
[[ "$host" == 127.0.0.1 ]] || skip "the build asks $converter, not a loopback host"
port_in_use "$host" "$port" && skip "$host:$port is already in use; the compiled-in converter host must be free"

private_display_start

if [[ -n "$service" && -x "$service" ]]; then
  XDG_CACHE_HOME="$work/cache" "$service" --listen "$host:$port" --data-dir "$service_data" \
    >"$work/service.log" 2>&1 &
else
  "$fake_server" "$port" >"$work/service.log" 2>&1 &
fi
server_pid=$!
pids+=("$server_pid")
wait_for_port "$host" "$port" "$server_pid" || { cat "$work/service.log"; fail "the converter did not start"; }

isolate_korvalux
ini="$XDG_CONFIG_HOME/Vantoril.ini"

start_korvalux() {
  "$korvalux" >>"$work/korvalux.log" 2>&1 &
  korvalux_pid=$!
  pids+=("$korvalux_pid")
  window=$(wait_for_window "$korvalux_pid" 30) || { cat "$work/korvalux.log"; fail "no Korvalux window appeared"; }
  xdotool windowfocus --sync "$window"
}

close_korvalux() {
  "$close_window" "$window"
  wait_for_exit "$korvalux_pid" 15 || fail "Korvalux did not end after its window was closed"
  local status=0
  wait "$korvalux_pid" 2>/dev/null || status=$?
  (( status == 0 )) || { cat "$work/korvalux.log"; fail "Korvalux ended with status $status"; }
}

# First run: no settings yet.
start_korvalux
eval "$(xdotool getwindowgeometry --shell "$window")"
(( X == (1280 - WIDTH) / 2 && Y == (1024 - HEIGHT) / 2 )) ||
  fail "window at $X,$Y with size ${WIDTH}x$HEIGHT is not centred on the 1280x1024 screen"

type_conversion "250" "Japanese" "British"
first=$(convert_and_copy 1)
echo "clipboard after the first conversion: $first"
[[ -n "$first" ]] || fail "the clipboard stayed empty"
[[ "$first" == *250* && "$first" == *JPY* && "$first" == *GBP* ]] ||
  fail "the clipboard does not hold the 250 JPY to GBP result: $first"

close_korvalux
[[ -f "$ini" ]] || fail "no settings file at $ini"
grep -qx '\[Korvalux\]' "$ini" || fail "no [Korvalux] group in $ini"
grep -qx 'FromCurrency=Japanese Yen (JPY)' "$ini" || fail "FromCurrency not saved: $(cat "$ini")"
grep -qx 'ToCurrency=British Pound (GBP)' "$ini" || fail "ToCurrency not saved: $(cat "$ini")"

# Second run: the pair comes back, so a plain Convert asks for JPY to GBP.
# The clipboard went with the first process, which owned it.
start_korvalux
second=$(convert_and_copy 3)
echo "clipboard after the second conversion: $second"
[[ "$second" == *JPY* && "$second" == *GBP* ]] || fail "the pair was not restored: $second"
close_korvalux
grep -qx 'FromCurrency=Japanese Yen (JPY)' "$ini" && grep -qx 'ToCurrency=British Pound (GBP)' "$ini" ||
  fail "the restored pair was not saved again: $(cat "$ini")"
echo "desktop end-to-end: passed"
