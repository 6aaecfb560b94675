#!/usr/bin/env bash
# The window under a real window manager: openbox on a private Xvfb display
# decorates Korvalux with a title bar and borders and reports them as
# _NET_FRAME_EXTENTS. The frame, decoration included, must be centred on the
# screen within 2 px, and the window must not move once it is visible. Prints
# the measured offset. Exit 77 (skipped) when a tool is missing.
#
# usage: wm_centring.sh KORVALUX
set -euo pipefail
korvalux=$1
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib/xvfb.sh
source "$(dirname "$0")/../scripts/lib/xvfb.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

for tool in Xvfb openbox xdotool xprop xwininfo; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

private_display_start
isolate_korvalux
screen_width=1280 screen_height=1024 # as xvfb_start makes it

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=("$!")
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { cat "$work/openbox.log"; fail "openbox did not start"; }

"$korvalux" >"$work/korvalux.log" 2>&1 &
korvalux_pid=$!
pids+=("$korvalux_pid")
window=$(wait_for_window "$korvalux_pid" 30) || { cat "$work/korvalux.log"; fail "no Korvalux window appeared"; }

# "left, right, top, bottom" of the frame, and the client's place on the screen.
frame_of() {
  local extents x y w h
  extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ' ')
  x=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left X: *//p')
  y=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left Y: *//p')
  w=$(xwininfo -id "$window" | sed -n 's/.*Width: *//p')
  h=$(xwininfo -id "$window" | sed -n 's/.*Height: *//p')
  echo "$extents,$x,$y,$w,$h"
}

first=$(frame_of)
# Watch the window for a while: a move after the first picture is a jump.
for _ in $(seq 30); do
  sleep 0.05
  now=$(frame_of)
  [[ "$now" == "$first" ]] || fail "the window moved while visible: $first, then $now"
done

IFS=, read -r left right top bottom x y w h <<<"$first"
[[ -n "$left" && -n "$h" ]] || fail "no frame extents or geometry: $first"
(( top > 0 )) || fail "openbox reported no title bar: $first"
frame_x=$(( x - left )) frame_y=$(( y - top ))
frame_w=$(( w + left + right )) frame_h=$(( h + top + bottom ))
# Twice the offset of the frame's centre from the screen's, to stay in integers.
dx2=$(( 2 * frame_x + frame_w - screen_width ))
dy2=$(( 2 * frame_y + frame_h - screen_height ))
awk -v fw="$frame_w" -v fh="$frame_h" -v fx="$frame_x" -v fy="$frame_y" -v dx2="$dx2" -v dy2="$dy2" \
  -v e="$left,$right,$top,$bottom" 'BEGIN {
    printf "frame %dx%d at %d,%d (extents %s); offset from the centre: %.1f px across, %.1f px down\n",
      fw, fh, fx, fy, e, dx2 / 2, dy2 / 2 }'
(( dx2 <= 4 && dx2 >= -4 && dy2 <= 4 && dy2 >= -4 )) ||
  fail "the frame is not centred within 2 px"
echo "window manager centring: passed"
