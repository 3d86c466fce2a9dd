#!/bin/bash
# build.sh OUT MIRROR: builds the guest that runs 32-bit Windows programs
# into the empty folder OUT, from the Debian archive at MIRROR:
#
#	OUT/vmlinuz	Debian 12's cloud kernel
#	OUT/initrd.img	static busybox and the six virtio modules (initramfs-init)
#	OUT/root.img	ext4: Debian 12 minbase, 32-bit Wine, a ready Wine
#			prefix in /root/.wine, and job-init
#
# Needs root (debootstrap, chroot) and qemu-system-x86_64: the Wine prefix
# is made by booting the guest once, since this kernel cannot run 32-bit
# programs.  Work files go in OUT/work and are removed at the end.
set -euo pipefail

out=$1
mirror=$2
here=$(cd "$(dirname "$0")" && pwd)
work="$out/work"
tree="$work/root"
suite=bookworm
modules="virtio virtio_ring virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_blk"

step() {
	echo "  $(date +%T) $*" >&2
}

# Runs a command in the tree, with /proc, /sys and /dev as package scripts
# expect them; the mounts live in a namespace of their own and vanish with it.
in_tree() {
	# shellcheck disable=SC2016 # expanded by the inner shell
	unshare --mount --propagation private sh -euc '
		tree=$1
		shift
		mount -t proc proc "$tree/proc"
		mount -t sysfs sysfs "$tree/sys"
		mount --bind /dev "$tree/dev"
		chroot "$tree" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
			DEBIAN_FRONTEND=noninteractive "$@"' in_tree "$tree" "$@"
}

# An ext4 image of the tree, with room for what the guest writes.  No
# journal: every boot runs on a throwaway snapshot.
make_image() {
	rm -f "$out/root.img"
	mke2fs -q -t ext4 -O ^has_journal -L win32-guest -d "$tree" "$out/root.img" 2G
}

mkdir -p "$work"

step "debootstrap $suite (minbase) from $mirror"
include=
case $mirror in https:*) include=--include=ca-certificates ;; esac
debootstrap --variant=minbase --arch=amd64 $include "$suite" "$tree" "$mirror"

step "32-bit Wine, the kernel and busybox"
# Package scripts run unsafely fast: the tree is thrown away on failure.
echo force-unsafe-io >"$tree/etc/dpkg/dpkg.cfg.d/unsafe-io"
# shellcheck disable=SC2016 # expanded in the tree
in_tree sh -euc '
	dpkg --add-architecture i386
	apt-get update -q
	apt-get install -y -q --no-install-recommends wine32:i386
	kernel=$(apt-cache depends linux-image-cloud-amd64 | sed -n "s/^  Depends: //p" | head -n 1)
	mkdir /tmp/debs
	cd /tmp/debs
	apt-get download -q "$kernel" busybox-static'

step "initramfs"
for deb in "$tree"/tmp/debs/*.deb; do
	dpkg-deb -x "$deb" "$work/debs"
done
cp "$work"/debs/boot/vmlinuz-* "$out/vmlinuz"
initramfs="$work/initramfs"
mkdir -p "$initramfs/bin" "$initramfs/lib/modules"
cp "$work/debs/bin/busybox" "$initramfs/bin/busybox"
for module in $modules; do
	find "$work/debs/lib/modules" -name "$module.ko" -exec cp {} "$initramfs/lib/modules/" \;
	[ -f "$initramfs/lib/modules/$module.ko" ] || { echo "no module $module in the kernel package" >&2; exit 1; }
done
install -m 0755 "$here/initramfs-init" "$initramfs/init"
(cd "$initramfs" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -1 >"$out/initrd.img"

step "trimming the root"
# Wine's Windows DLLs carry debug information: 550 MB with it, 200 without.
find "$tree/usr/lib/i386-linux-gnu/wine/i386-windows" -type f \
	-exec i686-w64-mingw32-strip --strip-debug {} +
rm -rf "$tree"/tmp/* "$tree"/var/lib/apt/lists/* "$tree"/var/cache/apt/* \
	"$tree"/usr/share/doc "$tree"/usr/share/man "$tree"/usr/share/info \
	"$tree"/usr/share/locale "$tree/etc/dpkg/dpkg.cfg.d/unsafe-io"
install -m 0755 "$here/job-init" "$tree/sbin/job-init"
make_image

step "the Wine prefix (wineboot --init in the guest, about a minute)"
mkdir -p "$tree/root/.wine"
"$here/boot.sh" "$out" "$tree/root/.wine" /root/.wine \
	env WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml=' \
	sh -c 'wine wineboot --init && wineserver --wait' >"$work/prefix.log" 2>&1 || {
	cat "$work/prefix.log" >&2
	exit 1
}
[ -f "$tree/root/.wine/system.reg" ] || { echo "wineboot made no prefix" >&2; exit 1; }

step "the final image"
# Wine copies its DLLs into the prefix; the copies become hard links.
dlls="$tree/usr/lib/i386-linux-gnu/wine/i386-windows"
find "$tree/root/.wine/drive_c/windows" -type f | while IFS= read -r copy; do
	builtin="$dlls/${copy##*/}"
	if [ -f "$builtin" ] && cmp -s "$copy" "$builtin"; then
		ln -f "$builtin" "$copy"
	fi
done
make_image
rm -rf "$work"
