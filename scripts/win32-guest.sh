#!/bin/bash
# win32-guest.sh: a Debian guest with 32-bit Wine, under software emulation,
# for running 32-bit Windows programs on a machine that cannot run 32-bit
# code itself.  The recipe is win32_guest/; the guest is built once per
# machine into a cache outside the clone, keyed by the recipe.
#
#	win32-guest.sh build			build the guest unless it is built
#	win32-guest.sh run DIR COMMAND [ARG...]	run COMMAND in the guest, in a
#						copy of DIR at the same path
#	win32-guest.sh clean			remove the cache
#	win32-guest.sh path			print where the guest is
#
# run prints COMMAND's standard output and error and exits with its status;
# files written in DIR come back.  In the guest, `wine` on PATH starts
# 32-bit Windows programs in a ready prefix, and standard input is
# /dev/null.  Both exit 77 if the guest is not built and cannot be built
# on this machine, and run exits 125 if the guest cannot run the command;
# either says why on standard error.  BERTH_GUEST_CACHE overrides the cache folder and
# BERTH_GUEST_MIRROR the Debian archive.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
recipe="$top/win32_guest"
cache=${BERTH_GUEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/berth/win32-guest}

usage() {
	echo "usage: $0 build | run DIR COMMAND [ARG...] | clean | path" >&2
	exit 2
}

# The key of the recipe: every file that shapes the image, by name and
# contents.  boot.sh only starts the guest, so a change to it needs no new
# image (a change to what it hands job-init changes job-init too).
recipe_key() {
	(cd "$recipe" && LC_ALL=C sha256sum -- build.sh initramfs-init job-init) |
		sha256sum | cut -c 1-16
}

# The Debian 12 archive this machine's apt uses, else Debian's own.
mirror() {
	if [ -n "${BERTH_GUEST_MIRROR:-}" ]; then
		echo "$BERTH_GUEST_MIRROR"
		return
	fi
	apt-cache policy 2>/dev/null |
		awk '$3 == "bookworm/main" && $4 == "amd64" { print $2; found = 1; exit }
			END { if (!found) print "http://deb.debian.org/debian" }'
}

cannot_build() {
	echo "win32 guest: cannot be built here: $*" >&2
	exit 77
}

# What building needs; anything missing ends the script with status 77.
check_can_build() { # mirror
	[ "$(id -u)" -eq 0 ] || cannot_build "building it needs root (debootstrap and chroot)"
	for command in qemu-system-x86_64 debootstrap mke2fs cpio unshare i686-w64-mingw32-strip; do
		command -v "$command" >/dev/null ||
			cannot_build "no $command (make test installs what it needs)"
	done
	wget -q -T 15 -t 2 --spider "$1/dists/bookworm/Release" ||
		cannot_build "no Debian package archive at $1"
}

minutes_and_seconds() { # seconds
	printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
}

build() {
	local key guest started mirror
	key=$(recipe_key)
	guest="$cache/$key"
	[ -f "$guest/ready" ] && return
	mkdir -p "$cache"
	# One build at a time; whoever waited finds the guest ready.
	exec 9>"$cache/lock"
	flock 9
	if [ -f "$guest/ready" ]; then
		exec 9>&-
		return
	fi
	mirror=$(mirror)
	check_can_build "$mirror"

	echo "Building the 32-bit Windows guest (once per machine, a few minutes) in $guest" >&2
	started=$(date +%s)
	rm -rf "$guest" "$guest.partial"
	mkdir -p "$guest.partial"
	# Its steps are shown as they come; the rest goes to the log.
	if ! "$recipe/build.sh" "$guest.partial" "$mirror" 2>&1 | tee "$cache/build.log" |
		{ grep --line-buffered '^  [0-9:]\{8\} ' >&2 || true; }; then
		tail -n 30 "$cache/build.log" >&2
		rm -rf "$guest.partial"
		echo "win32 guest: the build failed; the whole log is $cache/build.log" >&2
		exit 1
	fi
	touch "$guest.partial/ready"
	mv "$guest.partial" "$guest"
	# A changed recipe replaces the guest of the old one.
	find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} +
	exec 9>&-
	echo "Built the 32-bit Windows guest in $(minutes_and_seconds $(($(date +%s) - started))):" \
		"$(du -sh --apparent-size "$guest" | cut -f 1) (on disk $(du -sh "$guest" | cut -f 1))" >&2
}

run() { # DIR COMMAND [ARG...]
	[ $# -ge 2 ] || usage
	[ -d "$1" ] || { echo "win32 guest: $1 is not a folder" >&2; exit 125; }
	local dir
	dir=$(cd "$1" && pwd -P)
	shift
	[ "$dir" != / ] || { echo "win32 guest: DIR cannot be /" >&2; exit 125; }
	build
	exec "$recipe/boot.sh" "$cache/$(recipe_key)" "$dir" "$dir" "$@"
}

[ $# -ge 1 ] || usage
case $1 in
build)
	[ $# -eq 1 ] || usage
	build
	echo "The 32-bit Windows guest is ready: $cache/$(recipe_key)" >&2
	;;
run)
	shift
	run "$@"
	;;
clean)
	[ $# -eq 1 ] || usage
	rm -rf "$cache"
	;;
path)
	[ $# -eq 1 ] || usage
	echo "$cache/$(recipe_key)"
	;;
*) usage ;;
esac
