#!/usr/bin/env bash
# The first press of Convert in the installed korvalux.exe under Wine with no
# converter service running (the window starts korvalux-service.exe and asks
# again) beside a press with the service already running: milliseconds from the
# Convert key to the sentence on the clipboard (a Copy press queued behind it),
# median of N runs each, and their ratio; and the installer's size. Installs
# with setup.exe /S into a fresh private prefix, in a private network namespace
# (unshare, as root) so the converter port is free and the service fetches
# nothing; the services the windows start are ended by their PID.
# Usage: bench/wine_first_press.sh [SETUP.EXE [runs]]
#   default build/windows/korvalux-<version>-win64-setup.exe, 10 runs
set -euo pipefail
cd "$(dirname "$0")/.."
setup=${1:-$(ls build/windows/korvalux-*-win64-setup.exe 2>/dev/null | head -n 1)}
runs=${2:-10}
[[ -f "$setup" ]] || { echo "wine_first_press: no installer (build the korvalux_setup target)" >&2; exit 1; }
setup=$(realpath "$setup")
if [[ -z "${KORVALUX_BENCH_NETNS:-}" ]]; then
  KORVALUX_BENCH_NETNS=1 exec unshare --net -- "$0" "$setup" "$runs"
fi
ip link set lo up
source scripts/lib/xvfb.sh
source scripts/lib/press.sh
source scripts/lib/wine_install.sh

wine_run=$PWD/scripts/lib/wine-run
prefix=$(mktemp -d)
unset DISPLAY
trap '"$wine_run" --prefix "$prefix" --stop; rm -rf "$prefix"' EXIT
"$wine_run" --prefix "$prefix" --start
export DISPLAY=$(cat "$prefix/.korvalux-display")
"$wine_run" --prefix "$prefix" -- reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
  /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
install_silently "$wine_run" "$prefix" "$setup"
exe='C:\users\'$(id -un)'\AppData\Local\Programs\Korvalux\korvalux.exe'
[[ -f "$(installed_dir "$prefix")/korvalux.exe" ]] || { echo "wine_first_press: not installed" >&2; exit 1; }

end_services() {
  local found
  read -ra found <<<"$(service_pids "$prefix")"
  [[ ${#found[@]} -eq 0 ]] || stop_pids "${found[@]}"
}
cold=() warm=()
for _ in $(seq "$runs"); do
  end_services
  cold+=("$(press_once "$wine_run" --prefix "$prefix" -- "$exe" | cut -f1)")
done
for _ in $(seq "$runs"); do warm+=("$(press_once "$wine_run" --prefix "$prefix" -- "$exe" | cut -f1)"); done
end_services

cm=$(printf '%s\n' "${cold[@]}" | median)
wm=$(printf '%s\n' "${warm[@]}" | median)
echo "installed korvalux.exe under Wine, median of $runs presses each:"
echo "  first press, no service running: $cm ms  (${cold[*]})"
echo "  press with the service running:  $wm ms  (${warm[*]})"
awk -v c="$cm" -v w="$wm" 'BEGIN {printf "  ratio                            %.2fx\n", c / w}'
echo "  (both include the Copy key and clipboard polling)"
echo "installer $(basename "$setup"): $(stat -c %s "$setup") bytes"
