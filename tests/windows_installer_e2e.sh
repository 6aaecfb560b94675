#!/usr/bin/env bash
# The Windows installer end to end under Wine, in a fresh prefix of its own:
# setup.exe /S installs the files, the Start menu shortcut and the Apps & features
# entry; the installed korvalux.exe, with nothing listening on the converter
# port, starts korvalux-service.exe itself and converts at the first press from
# the shipped rates; a second press is answered by that same service process;
# Uninstall.exe /S ends the service and leaves nothing of ours but the window's
# two settings. Runs in a private network namespace (as root), so the converter
# port is free and the service fetches nothing; skipped (77) where it cannot.
# usage: windows_installer_e2e.sh WINE-RUN SETUP.EXE PREFIX
set -euo pipefail
wine_run=$1 setup=$2 prefix=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/lib/netns.sh"
in_private_network "$0" "$@"
source "$here/../scripts/lib/xvfb.sh"
source "$here/../scripts/lib/wine_install.sh"

rm -rf "$prefix"
pids=()
trap 'stop_pids "${pids[@]}"; "$wine_run" --prefix "$prefix" --stop; rm -rf "$prefix"' EXIT
"$wine_run" --prefix "$prefix" --start
export DISPLAY=$(cat "$prefix/.korvalux-display")
wine() { "$wine_run" --prefix "$prefix" -- "$@" </dev/null 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*" >&2; exit 1; }
has_key() { "$wine_run" --prefix "$prefix" -- reg query "$1" </dev/null >/dev/null 2>&1; }

# Installed silently, the files, the shortcut and the entry are there.
install_silently "$wine_run" "$prefix" "$setup"
dir=$(installed_dir "$prefix")
for file in korvalux.exe korvalux-service.exe HAND-M.CUR LICENSE.txt README.txt Uninstall.exe; do
  [[ -f "$dir/$file" ]] || fail "$file was not installed"
done
ls "$dir/data"/*.xml "$dir/data"/*.json >/dev/null || fail "no rate snapshot in data"
shortcut=$(user_dir "$prefix")/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Korvalux.lnk
[[ -f "$shortcut" ]] || fail "no Start menu shortcut"
grep -qa 'korvalux.exe' "$shortcut" || fail "the shortcut does not start korvalux.exe"
entry=$(wine reg query "$uninstall_key")
echo "$entry"
location=$(sed -n 's/^ *InstallLocation *REG_SZ *//p' <<<"$entry")
[[ "$location" == 'C:\users\'*'\AppData\Local\Programs\Korvalux' ]] || fail "install location $location"
for value in 'DisplayName *REG_SZ *Korvalux$' 'DisplayVersion *REG_SZ *[0-9]' 'Publisher *REG_SZ' \
  'DisplayIcon *REG_SZ .*korvalux.exe' 'UninstallString *REG_SZ *".*\\Uninstall.exe"$' \
  'QuietUninstallString *REG_SZ *".*\\Uninstall.exe" /S$' 'EstimatedSize *REG_DWORD *0x[1-9a-f]' \
  'NoModify *REG_DWORD *0x1$' 'NoRepair *REG_DWORD *0x1$'; do
  grep -q "$value" <<<"$entry" || fail "Apps & features entry lacks $value"
done
# Wine's own Add/Remove Programs reads the entry as Windows' does.
# Wine 10's uninstaller --list prints nothing at all: there the entry above is
# all this can look at.
listed=$(wine uninstaller --list 2>/dev/null)
if [[ -z "$listed" ]]; then
  echo "note: this Wine's uninstaller --list prints nothing; its listing is not checked"
else
  grep -q '|||Korvalux$' <<<"$listed" || fail "Wine's uninstaller does not list it"
fi

# The first press starts the service; the second is answered by the same one.
[[ -z "$(service_pids "$prefix")" ]] || fail "a service runs before the first press"
"$wine_run" --prefix "$prefix" -- "$location\\korvalux.exe" </dev/null >/dev/null 2>&1 &
exe_pid=$!
pids=("$exe_pid")
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Korvalux$' | head -n 1)
[[ -n "$window" ]] || fail "no Korvalux window appeared"
xdotool windowfocus --sync "$window" || true
sleep 0.5
xdotool type --delay 60 "2.50"
first=$(keys_then_clipboard "${first_press_keys[@]}")
echo "first press: $first"
# Nothing can be fetched here: the rates are the shipped ones, of their date.
shipped=$(ls "$dir/data" | grep -oE '[0-9]{4}-[0-9]{2}-[0-9]{2}' | sort -u | tail -n 1)
[[ "$first" =~ ^2\.50\ USD\ =\ [0-9][0-9.,]*\ EUR\ \($shipped\)$ ]] || fail "first press gave '$first'"
service=$(service_pids "$prefix")
[[ -n "$service" && "$service" != *" "* ]] || fail "not one service process: '$service'"
echo "service process: $service"
second=$(keys_then_clipboard "${next_press_keys[@]}")
echo "second press: $second"
[[ "$second" == "$first" ]] || fail "second press gave '$second'"
[[ "$(service_pids "$prefix")" == "$service" ]] || fail "the second press met another service"
xdotool key --window "$window" alt+F4 || true
wait_for_exit "$exe_pid" 15 || fail "korvalux.exe did not close"
kill -0 "$service" 2>/dev/null || fail "the service left with the window"

# The cache the service keeps, as it would after a refresh.
cache=$(user_dir "$prefix")/AppData/Local/Korvalux/cache
mkdir -p "$cache" && echo '{}' >"$cache/rates.json"
# A copy of the service run from another folder is none of the uninstaller's.
other='C:\portable'
mkdir -p "$prefix/drive_c/portable"
cp -r "$dir/korvalux-service.exe" "$dir/data" "$prefix/drive_c/portable/"
"$wine_run" --prefix "$prefix" -- "$other\korvalux-service.exe" --listen 127.0.0.1:8799 \
  --exit-idle-time 120 --quiet </dev/null >/dev/null 2>&1 &
pids+=($!)
wait_for_port 127.0.0.1 8799 "${pids[-1]}" || fail "the copy in $other did not start"
portable=$(wine_pids "$prefix" "$other\korvalux-service.exe")
[[ -n "$portable" ]] || fail "no process for the copy in $other"
uninstall_silently "$wine_run" "$prefix" "$location" || fail "the uninstaller did not finish"
kill -0 "$portable" 2>/dev/null || fail "the uninstaller ended the copy in $other"
[[ "$(service_pids "$prefix")" == "$portable" ]] || fail "the installed service runs on after the uninstall"
stop_pids "$portable"
for gone in "$dir" "$cache" "$(dirname "$cache")" "$shortcut"; do
  [[ ! -e "$gone" ]] || fail "$gone is left after the uninstall"
done
! has_key "$uninstall_key" || fail "the Apps & features entry is left"
! grep -q '|||Korvalux$' <<<"$(wine uninstaller --list 2>/dev/null)" \
  || fail "Wine's uninstaller still lists it"
saved=$(wine reg query "$settings_key")
echo "$saved"
grep -q 'FromCurrency.*REG_SZ.*United States Dollar (USD)' <<<"$saved" || fail "FromCurrency is gone"
grep -q 'ToCurrency.*REG_SZ.*Euro (EUR)' <<<"$saved" || fail "ToCurrency is gone"
echo "installer end to end: passed"
