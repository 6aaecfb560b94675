#!/usr/bin/env bash
# End to end under Wine: korvalux.exe opens on the prefix's display, a user's
# keys (xdotool) type an amount, pick both currencies, press Convert and Copy To
# Clipboard, and the X clipboard, which is Wine's, must hold the answer of the
# converter server started here. Runs in a private network namespace (as root)
# so that the compiled-in converter port is free; skipped (77) where it cannot.
# usage: windows_e2e.sh WINE-RUN PREFIX KORVALUX.EXE HOST:PORT [SCREENSHOT.png]
set -euo pipefail
wine_run=$1 prefix=$2 exe=$3 hostport=$4 screenshot=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/lib/netns.sh"
in_private_network "$0" "$@"
source "$here/../scripts/lib/xvfb.sh"
source "$here/../scripts/lib/keys.sh"

# The prefix's server and Wine's services are started again in this namespace:
# programs started from the ones outside it would reach outside loopback.
"$wine_run" --prefix "$prefix" --stop
"$wine_run" --prefix "$prefix" --start
export DISPLAY=$(cat "$prefix/.korvalux-display")
port=${hostport##*:}
pids=()
trap 'stop_pids "${pids[@]}"; "$wine_run" --prefix "$prefix" --stop' EXIT

# The converter: the amount and codes from the query, a fixed rate.
server=$(cat <<'PY'
import http.server, sys, urllib.parse
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        q = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        body = ("<td align=left>%s %s =&nbsp;<b>0.86 %s</b></td>" % (
            q["a"][0], q["from"][0], q["to"][0])).encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args): pass
http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
PY
)
python3 -c "$server" "$port" </dev/null >/dev/null 2>&1 &
pids+=($!)
wait_for_port 127.0.0.1 "$port" "${pids[-1]}"

key='HKCU\Software\VB and VBA Program Settings\Vantoril\Korvalux'
"$wine_run" --prefix "$prefix" -- reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
"$wine_run" --prefix "$prefix" -- "$exe" </dev/null >/dev/null 2>&1 &
exe_pid=$!
pids=("$exe_pid" "${pids[@]}")
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Korvalux$' | head -n 1)
[[ -n "$window" ]] || { echo "no Korvalux window appeared" >&2; exit 1; }
xdotool windowfocus --sync "$window" || true
sleep 0.5
printf '' | xclip -selection clipboard -i
# The lists keep their defaults, United States Dollar and Euro: Wine's lists
# search by the first letter only, not by a typed name.
xdotool type --delay 60 "2.50"
text=$(convert_and_copy 3)
echo "clipboard: $text"
[[ -n "$screenshot" ]] && import -window "$window" "$screenshot" && echo "screenshot: $screenshot"
xdotool key --window "$window" alt+F4 || true
wait_for_exit "$exe_pid" 15 || { echo "korvalux.exe did not close" >&2; exit 1; }
[[ "$text" == "2.50 USD = 0.86 EUR" ]]
# Closing saved both choices where GetSetting and SaveSetting keep them.
saved=$("$wine_run" --prefix "$prefix" -- reg query "$key" </dev/null 2>/dev/null | tr -d '\r')
echo "$saved"
grep -q 'FromCurrency.*REG_SZ.*United States Dollar (USD)' <<<"$saved"
grep -q 'ToCurrency.*REG_SZ.*Euro (EUR)' <<<"$saved"
