#!/usr/bin/env bash
# Runs a test program on Qt's Wayland platform inside weston (the X11 backend,
# on a private Xvfb display), and fails if weston reports a protocol error.
# Exit 77 (skipped) when weston, Xvfb or Qt's Wayland platform is missing.
#
# usage: wayland_session.sh TEST-PROGRAM [ARGS...]
set -euo pipefail
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/xvfb.sh
source "$(dirname "$0")/../scripts/lib/xvfb.sh"

skip() { echo "SKIPPED: $*"; exit 77; }

for tool in Xvfb weston; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null \
  || skip "Qt's Wayland platform (qt6-wayland) is not installed"

private_display_start
isolate_korvalux
weston --backend=x11-backend.so --socket=korvalux-test --width=1024 --height=768 \
  --idle-time=0 --no-config >"$work/weston.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do
  [[ -S "$XDG_RUNTIME_DIR/korvalux-test" ]] && break
  kill -0 "${pids[-1]}" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -S "$XDG_RUNTIME_DIR/korvalux-test" ]]; then
  cat "$work/weston.log"
  skip "weston did not start"
fi

status=0
# The window is drawn in software; the GPU buffer integration would load a
# graphics driver that LeakSanitizer reports, for nothing the test uses.
WAYLAND_DISPLAY=korvalux-test QT_QPA_PLATFORM=wayland QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none "$@" || status=$?
if grep -i "protocol error\|error [0-9]*:" "$work/weston.log"; then
  status=1
fi
exit "$status"
