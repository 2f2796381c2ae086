#!/bin/sh
# Runs `make test` on a fresh Debian 13 (trixie) root, the way a new user on
# that release would: install make and sudo, clone the tree, run make test as
# an ordinary user with sudo rights.
#
# The minimal root made by debootstrap is kept in $CACHE/base and never
# changed; each run works in a throw-away overlay on top of it. Downloaded
# packages and package lists are kept in $CACHE/debs and $CACHE/lists between
# runs. The mirror is the one this
# machine's apt already uses.
#
# Usage: tools/test-debian13.sh [cache folder]   (needs root)
set -eu

CACHE=${1:-${KANAROLL_DEBIAN13_CACHE:-/var/cache/kanaroll/debian13}}
SUITE=trixie
TREE=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)

if [ "$(id -u)" != 0 ]; then
	echo "test-debian13: needs root (debootstrap, mount and chroot); run it as root or with sudo." >&2
	exit 1
fi

# The first deb line of this machine's apt sources that serves Debian itself
# (not the security archive).
mirror() {
	if [ -f /etc/apt/sources.list.d/debian.sources ]; then
		sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/debian.sources
	fi
	if [ -f /etc/apt/sources.list ]; then
		sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' /etc/apt/sources.list
	fi
}
MIRROR=$(mirror | tr ' ' '\n' | grep -v -e '-security' -e '^$' | head -n 1)
if [ -z "$MIRROR" ]; then
	echo "test-debian13: no Debian mirror found in /etc/apt/sources.list.d/debian.sources or /etc/apt/sources.list" >&2
	exit 1
fi

command -v debootstrap >/dev/null || {
	apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
}

BASE=$CACHE/base
DEBS=$CACHE/debs
LISTS=$CACHE/lists
RUN=$CACHE/run
ROOT=$RUN/root
mkdir -p "$DEBS/partial" "$LISTS/partial"

if [ ! -e "$BASE/.complete" ]; then
	echo "test-debian13: making a minimal $SUITE root in $BASE from $MIRROR"
	rm -rf "$BASE"
	debootstrap --variant=minbase --cache-dir="$DEBS" "$SUITE" "$BASE" "$MIRROR"
	printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
		"$MIRROR" "$SUITE" >"$BASE/etc/apt/sources.list.d/debian.sources"
	rm -f "$BASE/etc/apt/sources.list"
	touch "$BASE/.complete"
else
	echo "test-debian13: reusing the $SUITE root in $BASE"
fi

# Everything mounted under the root, innermost first; lazily when still busy.
unmount_all() {
	if mountpoint -q "$ROOT"; then
		umount -R "$ROOT" 2>/dev/null || umount -R -l "$ROOT"
	fi
}
# Never delete through a mount: /dev and the package cache are bound in.
remove_run() {
	if grep -q " $RUN[/ ]" /proc/self/mounts; then
		echo "test-debian13: $RUN is still mounted; left in place" >&2
	else
		rm -rf --one-file-system "$RUN"
	fi
}
cleanup() {
	status=$?
	unmount_all
	remove_run
	exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# A leftover of an interrupted run first.
unmount_all
remove_run
mkdir -p "$RUN/upper" "$RUN/work" "$ROOT"
# The root itself is a mount point in both cases, so that one recursive
# unmount takes everything away.
if ! mount -t overlay overlay -o "lowerdir=$BASE,upperdir=$RUN/upper,workdir=$RUN/work" "$ROOT" 2>/dev/null; then
	# No overlay file system here: a plain copy does the same, only slower.
	cp -a "$BASE" "$RUN/copy"
	mount --bind "$RUN/copy" "$ROOT"
fi
mount -t proc proc "$ROOT/proc"
mount --rbind /dev "$ROOT/dev"
mount --make-rslave "$ROOT/dev"
mount --bind "$DEBS" "$ROOT/var/cache/apt/archives"
mount --bind "$LISTS" "$ROOT/var/lib/apt/lists"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true

# Everything below runs inside the root.
chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 /bin/sh -eu -c '
	export DEBIAN_FRONTEND=noninteractive
	apt-get update -q
	apt-get install -y -q make sudo
	useradd --create-home --shell /bin/bash tester
	echo "tester ALL=(ALL) NOPASSWD: ALL" >/etc/sudoers.d/tester
'
# The committed tree only: a clone of HEAD, as a new user gets it.
git clone --quiet --no-hardlinks --no-checkout "$TREE" "$ROOT/home/tester/kanaroll"
COMMIT=$(git -C "$TREE" rev-parse HEAD)
git -C "$ROOT/home/tester/kanaroll" checkout --quiet --detach "$COMMIT"
echo "test-debian13: testing $(git -C "$TREE" log -1 --format='%h %s' "$COMMIT")"
chroot "$ROOT" chown -R tester:tester /home/tester/kanaroll

start=$(date +%s)
chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
	/usr/bin/sudo -u tester -H /bin/sh -eu -c 'cd ~/kanaroll && make test'
echo "test-debian13: make test on $SUITE passed in $(( $(date +%s) - start )) s"
