# Shell helpers shared by the run command, the desktop end-to-end test and the
# start-up benchmark: a private Xvfb display with its work directory and clean-up,
# Korvalux kept to that directory, loopback port checks, waiting for Korvalux's
# window, and ending only the processes these scripts started.
# Sourced, not run; callers use `set -euo pipefail`.
# shellcheck shell=bash

# Starts Xvfb on the first free display number; sets XVFB_PID and DISPLAY.
xvfb_start() {
  local numberfile
  numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$numberfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [[ -s "$numberfile" ]] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -s "$numberfile" ]]; then
    rm -f "$numberfile"
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(head -n 1 "$numberfile")"
  rm -f "$numberfile"
}

# Makes a work directory ($work) and a private Xvfb display; on exit, ends every
# PID in the array `pids` (Xvfb first among them) and removes the work directory.
private_display_start() {
  work=$(mktemp -d)
  pids=()
  trap private_display_cleanup EXIT
  xvfb_start
  pids+=("$XVFB_PID")
}

private_display_cleanup() {
  stop_pids "${pids[@]}"
  rm -rf "$work"
}

# Keeps Korvalux's settings and runtime files inside $work, lets it open no
# browser, and makes it use the X display rather than one from the caller.
isolate_korvalux() {
  export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" BROWSER=true
  mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}

# True when something accepts connections on host:port (loopback only).
port_in_use() {
  timeout 2 bash -c "exec 3<>/dev/tcp/$1/$2" 2>/dev/null
}

# Waits until host:port accepts connections or the process $3 has died.
wait_for_port() {
  local i
  for i in $(seq 200); do
    port_in_use "$1" "$2" && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# Prints the id of the visible top-level window of process $1 once it is mapped.
wait_for_window() {
  timeout "${2:-30}" xdotool search --sync --onlyvisible --pid "$1" --name '^Korvalux$' | head -n 1
}

# Waits up to $2 seconds for process $1 (a child of this shell) to end.
wait_for_exit() {
  local i
  for i in $(seq $(( ${2:-10} * 20 ))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.05
  done
  return 1
}

# Ends each listed PID that still runs: TERM, then KILL after a grace period.
stop_pids() {
  local pid
  for pid in "$@"; do
    kill -0 "$pid" 2>/dev/null && kill "$pid" 2>/dev/null || true
  done
  for pid in "$@"; do
    wait_for_exit "$pid" 5 || kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
