#!/usr/bin/env bash
# Runs a check script against a program as a screen reader would reach it: a
# private Xvfb display, a private D-Bus session with its own AT-SPI bus, the
# program started with accessibility on, then the script given the program's
# PID. Exit 77 (skipped) when Xvfb, xdotool, D-Bus, the AT-SPI bus launcher or
# pyatspi is missing.
#
# usage: atspi_session.sh CHECK-SCRIPT PROGRAM [ARGS...]
set -euo pipefail
# Debian's own interpreter, which has pyatspi, even where another comes first.
python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
if [[ "${1:-}" != --inside ]]; then
  for tool in Xvfb xdotool dbus-send; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
  done
  command -v dbus-run-session >/dev/null || { echo "SKIPPED: dbus-run-session is not installed"; exit 77; }
  compgen -G "/usr/lib/*/at-spi-bus-launcher" >/dev/null || compgen -G "/usr/libexec/at-spi-bus-launcher" >/dev/null \
    || { echo "SKIPPED: at-spi2-core is not installed"; exit 77; }
  "$python" -c "import pyatspi" 2>/dev/null || { echo "SKIPPED: python3-pyatspi is not installed"; exit 77; }
  exec dbus-run-session -- bash "$0" --inside "$@"
fi
shift
check=$1
shift
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/xvfb.sh
source "$(dirname "$0")/../scripts/lib/xvfb.sh"
private_display_start
isolate_korvalux
# Qt only watches for the AT-SPI bus, so it is started first; the session bus
# starts it on demand, and the registry with it.
dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$@" >"$work/program.log" 2>&1 &
program=$!
pids+=("$program")
status=0
"$python" "$check" "$program" || status=$?
if [[ $status -ne 0 ]]; then
  cat "$work/program.log" >&2
fi
# The AT-SPI bus and its registry belong to this D-Bus session and end with it.
exit "$status"
