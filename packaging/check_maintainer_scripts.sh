#!/bin/sh
# Runs the package's postinst and postrm against a scratch root (DPKG_ROOT, as
# dpkg does for a foreign root) through an install, upgrade, remove and purge
# sequence, and checks after each step whether the socket is enabled for every
# user. deb-systemd-helper needs no running systemd, so neither does this.
# Usage: check_maintainer_scripts.sh PACKAGING_DIR SOCKET_UNIT_FILE WORK_DIR
set -eu
scripts=$1 unit=$2 work=$3
rm -rf "$work"
mkdir -p "$work/usr/lib/systemd/user" "$work/etc" "$work/var/lib/systemd"
cp "$unit" "$work/usr/lib/systemd/user/"
export DPKG_ROOT="$work" DPKG_MAINTSCRIPT_PACKAGE=korvalux
link="$work/etc/systemd/user/sockets.target.wants/korvalux-service.socket"
failures=0

# step: what happens | how | link expected (yes/no)
while IFS='|' read -r what how expected; do
	eval "$how"
	if [ -L "$link" ]; then got=yes; else got=no; fi
	if [ "$got" != "$expected" ]; then
		echo "after '$what': socket enabled $got, expected $expected" >&2
		failures=$((failures + 1))
	fi
done <<'STEPS'
first install|"$scripts/postinst" configure|yes
reinstalled|"$scripts/postinst" configure 1.0.0|yes
removed|"$scripts/postrm" remove|no
installed again|"$scripts/postinst" configure 1.0.0|yes
disabled by the administrator, then upgraded|rm -f "$link"; "$scripts/postinst" configure 1.0.0|no
purged|"$scripts/postrm" purge|no
installed after the purge|"$scripts/postinst" configure|yes
purged again|"$scripts/postrm" purge|no
STEPS

if [ -n "$(ls -A "$work/var/lib/systemd/deb-systemd-user-helper-enabled" 2>/dev/null)" ]; then
	echo "the purge left deb-systemd-helper's record behind" >&2
	failures=$((failures + 1))
fi
rm -rf "$work"
[ "$failures" -eq 0 ]
