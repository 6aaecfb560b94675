#!/usr/bin/env bash
# The first press of Convert on a machine whose service has only the shipped,
# months-old snapshot, with the rate feeds reachable: no service runs, so the
# window starts korvalux-service itself (--refresh, at the feeds' built-in https
# addresses), and the press's sentence and time are printed, median of N runs,
# for feeds answering at once with today's documents and for feeds that stall.
# With a second service folder (main's build, say) both run side by side.
#
# The started service's arguments are fixed, so the feeds come to it instead: the
# run has private network and mount namespaces (unshare, as root) in which the
# feeds' host names resolve to 127.0.0.1 (a hosts file bound over /etc/hosts), a
# loopback HTTPS server answers for them with a certificate from a CA made for
# this run, and that CA is added to a copy of the system bundle bound over the
# one libcurl reads. Nothing leaves loopback; nothing outside the run changes.
# With KORVALUX_BENCH_ROOT set to a Debian tree with the .deb installed (a fresh
# debootstrap, say), the window runs chrooted there, /proc and /dev mounted for
# the run only, and each service folder's korvalux-service is bound over the
# installed one in turn (give ROOT/usr/bin for the installed one itself).
# Usage: bench/first_press_feed.sh [path/to/korvalux [service-dir [baseline-service-dir [runs]]]]
#   default build/release/app/korvalux and build/release/service
set -euo pipefail
cd "$(dirname "$0")/.."
korvalux=$(realpath "${1:-build/release/app/korvalux}")
service_dir=$(realpath "${2:-build/release/service}")
baseline_dir=${3:+$(realpath "$3")}
runs=${4:-3}
for program in "$korvalux" "$service_dir/korvalux-service" ${baseline_dir:+"$baseline_dir/korvalux-service"}; do
  [[ -x "$program" ]] || { echo "first_press_feed: no program at $program" >&2; exit 1; }
done
root=${KORVALUX_BENCH_ROOT:+$(realpath "$KORVALUX_BENCH_ROOT")}
for file in usr/bin/korvalux etc/hosts etc/ssl/certs/ca-certificates.crt; do
  [[ -z "$root" || -e "$root/$file" ]] || { echo "first_press_feed: no /$file in $root" >&2; exit 1; }
done
if [[ -z "${KORVALUX_BENCH_NETNS:-}" ]]; then
  KORVALUX_BENCH_NETNS=1 exec unshare --net --mount -- "$0" "$korvalux" "$service_dir" "$baseline_dir" "$runs"
fi
ip link set lo up
source scripts/lib/xvfb.sh
source scripts/lib/press.sh

private_display_start
isolate_korvalux
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

# The built-in feed addresses (service/rate_keeper.h), served from $work/feeds.
hosts=(www.ecb.europa.eu cdn.jsdelivr.net currency-api.pages.dev)
today=$(date -u +%F)
mkdir -p "$work/feeds"
sed "s/2026-07-06/$today/g" service/data/eurofxref-daily-2026-07-06.xml >"$work/feeds/ecb.xml"
sed "s/2026-07-06/$today/g" service/data/currency-api-eur-2026-07-06.json >"$work/feeds/daily.json"

(
  cp /etc/hosts "$work/hosts"
  printf '127.0.0.1 %s\n' "${hosts[@]}" >>"$work/hosts"
  mount --bind "$work/hosts" /etc/hosts
  cd "$work"
  {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=korvalux-bench-ca \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
      -keyout ca.key -out ca.crt
    openssl req -newkey rsa:2048 -nodes -subj /CN=feeds -keyout feed.key -out feed.csr
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' \
      "$(printf 'DNS:%s,' "${hosts[@]}" | sed 's/,$//')" >feed.ext
    openssl x509 -req -in feed.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
      -extfile feed.ext -out feed.crt
  } >/dev/null 2>&1
  cat /etc/ssl/certs/ca-certificates.crt ca.crt >bundle.crt
  mount --bind bundle.crt /etc/ssl/certs/ca-certificates.crt
  if [[ -n "$root" ]]; then
    cp "$root/etc/hosts" root-hosts
    printf '127.0.0.1 %s\n' "${hosts[@]}" >>root-hosts
    mount --bind root-hosts "$root/etc/hosts"
    cat "$root/etc/ssl/certs/ca-certificates.crt" ca.crt >root-bundle.crt
    mount --bind root-bundle.crt "$root/etc/ssl/certs/ca-certificates.crt"
    # Gone with this mount namespace when the run ends, whatever happens.
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root$work"
    mount --bind "$work" "$root$work" # settings, runtime and cache folders
  fi
)
window=("$korvalux")
[[ -z "$root" ]] || window=(chroot "$root" /usr/bin/korvalux)

cat >"$work/feed.py" <<'PY'
import http.server, ssl, sys, time
mode, folder = sys.argv[1], sys.argv[2]
ecb = open(folder + "/ecb.xml", "rb").read()
daily = open(folder + "/daily.json", "rb").read()
documents = {
    "/stats/eurofxref/eurofxref-daily.xml": ecb,
    "/npm/@fawazahmed0/currency-api@latest/v1/currencies/eur.json": daily,
    "/v1/currencies/eur.json": daily,
}
class Feed(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        if mode == "stall":
            time.sleep(3600)
        body = documents.get(self.path)
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 443), Feed)
server.daemon_threads = True
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(folder + "/../feed.crt", folder + "/../feed.key")
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
PY

# Runs the feed in mode $1 and presses $runs times with the service of folder $2,
# each time with an empty cache and no service running; prints one line.
measure() {
  local mode=$1 dir=$2 feed times=() sentence="" line i
  # Its complaints about connections a stopped service cut go to a log.
  /usr/bin/python3 "$work/feed.py" "$mode" "$work/feeds" 2>>"$work/feed.log" &
  feed=$!
  pids+=("$feed")
  wait_for_port 127.0.0.1 443 "$feed"
  # The feed answers as the service will see it: by name, over verified TLS.
  if [[ $mode == answer ]]; then
    curl -sf "https://${hosts[0]}/stats/eurofxref/eurofxref-daily.xml" | grep -q "$today" ||
      { echo "first_press_feed: the loopback feed is not reachable by name" >&2; exit 1; }
  fi
  [[ -z "$root" ]] || mount --bind "$dir/korvalux-service" "$root/usr/bin/korvalux-service"
  for i in $(seq "$runs"); do
    export XDG_CACHE_HOME="$work/cache-$mode-$i-$RANDOM"
    line=$(PATH="$dir:$PATH" press_once "${window[@]}")
    times+=("${line%%$'\t'*}")
    sentence=${line#*$'\t'}
    mapfile -t started < <(listeners 8765)
    [[ ${#started[@]} -eq 0 ]] || stop_pids "${started[@]}"
  done
  stop_pids "$feed"
  [[ -z "$root" ]] || umount "$root/usr/bin/korvalux-service"
  printf '%-9s %-60s median %5s ms (%s)  "%s"\n' "$mode" "$dir" \
    "$(printf '%s\n' "${times[@]}" | median)" "${times[*]}" "$sentence"
}

mapfile -t started < <(listeners 8765)
[[ ${#started[@]} -eq 0 ]] || stop_pids "${started[@]}"
echo "first press, no service running, feeds of $today on loopback${root:+, window in $root} (feed, service, time, last sentence):"
for mode in answer stall; do
  [[ -z "$baseline_dir" ]] || measure "$mode" "$baseline_dir"
  measure "$mode" "$service_dir"
done
echo "(times include about 30 ms of the Copy key and clipboard polling)"
[[ -z "$root" ]] || { umount "$root$work" && rmdir "$root$work"; }
