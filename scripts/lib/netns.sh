# Sourced by the Wine end-to-end tests: runs the calling script again in a
# private network namespace (as root), so the compiled-in converter port is free
# and nothing leaves the machine. Exits 77 (skipped) where that, xdotool or
# xclip is missing. Usage: in_private_network "$0" "$@"
in_private_network() {
  if [[ -n "${KORVALUX_E2E_NETNS:-}" ]]; then
    ip link set lo up
    return
  fi
  command -v xdotool >/dev/null && command -v xclip >/dev/null || { echo "no xdotool or xclip"; exit 77; }
  [[ $(id -u) -eq 0 ]] && unshare --net true 2>/dev/null || { echo "needs a network namespace"; exit 77; }
  KORVALUX_E2E_NETNS=1 exec unshare --net -- "$@"
}
