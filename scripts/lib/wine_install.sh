# Installing Korvalux under Wine with its own installer, finding the service it
# starts, and pressing Convert, shared by the installer's end-to-end test and the
# Wine first-press benchmark. Needs xdotool and xclip on the prefix's display.
# Sourced, not run.
# shellcheck shell=bash

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalux'
settings_key='HKCU\Software\VB and VBA Program Settings\Vantoril\Korvalux'

# The prefix's folder of this user ($1: prefix).
user_dir() { printf '%s/drive_c/users/%s' "$1" "$(id -un)"; }

# Where setup.exe installs by default ($1: prefix).
installed_dir() { printf '%s/AppData/Local/Programs/Korvalux' "$(user_dir "$1")"; }

# Runs setup.exe /S ($1: wine-run, $2: prefix, $3: setup.exe), which waits.
install_silently() {
  "$1" --prefix "$2" -- "$3" /S </dev/null >/dev/null 2>&1
}

# The Linux PIDs of the Wine processes of prefix $1 whose command line names
# program $2 (korvalux-service.exe unless given), blank-separated.
wine_pids() {
  local proc pid found=()
  for proc in /proc/[0-9]*; do
    pid=${proc#/proc/}
    [[ "$(readlink "$proc/exe" 2>/dev/null)" == */wine* ]] || continue
    tr '\0' ' ' <"$proc/cmdline" 2>/dev/null | grep -qiF "${2:-korvalux-service.exe}" || continue
    tr '\0' '\n' <"$proc/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$1" || continue
    found+=("$pid")
  done
  echo "${found[*]}"
}
service_pids() { wine_pids "$1" korvalux-service.exe; }

# Uninstall.exe /S copies itself to the temporary folder and returns at once; this
# waits, up to 60 s, for that copy to have finished ($1: wine-run, $2: prefix,
# $3: the Windows install folder).
uninstall_silently() {
  "$1" --prefix "$2" -- "$3\\Uninstall.exe" /S </dev/null >/dev/null 2>&1
  local i
  for i in $(seq 600); do
    [[ -z "$(wine_pids "$2" '~nsu')" && ! -e "$(installed_dir "$2")/Uninstall.exe" ]] && return 0
    sleep 0.1
  done
  return 1
}

# Empties the clipboard, presses the keys given (xdotool key names), and prints
# the clipboard once it holds text (nothing after 30 s).
keys_then_clipboard() {
  local i text=""
  printf '' | xclip -selection clipboard -i
  xdotool key --delay 80 "$@"
  for i in $(seq 3000); do
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    [[ -n "$text" ]] && break
    sleep 0.01
  done
  printf '%s' "$text"
}

# From the amount box: Convert, then Copy To Clipboard.
first_press_keys=(Tab Tab Tab space Tab Tab space)
# From Copy To Clipboard, where the first press left the focus: the same again.
next_press_keys=(shift+Tab shift+Tab space Tab Tab space)
