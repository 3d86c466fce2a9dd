#!/bin/bash
# boot.sh GUEST HOST_DIR GUEST_DIR COMMAND [ARG...]: boots the guest built
# in GUEST (vmlinuz, initrd.img, root.img) once, under software emulation,
# and runs COMMAND there in a copy of HOST_DIR placed at GUEST_DIR (see
# job-init).  Afterwards the folder is copied back into HOST_DIR: files
# written or changed there come back, files removed stay.  Then COMMAND's
# standard output and error are written out and its status is this
# script's.  The root image itself is never changed.
#
# Exits 125, saying why on standard error, if the guest cannot boot, run
# the command or hand the folder back.
set -euo pipefail

guest=$1
host_dir=$2
guest_dir=$3
shift 3

fail() {
	echo "win32 guest: $*" >&2
	exit 125
}

command -v qemu-system-x86_64 >/dev/null ||
	fail "no qemu-system-x86_64 (Debian package qemu-system-x86)"

work=$(mktemp -d "${TMPDIR:-/tmp}/win32-guest.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The job and the folder go in as tars on raw disks, which the guest
# overwrites with its results.  Sparse room after each tar lets the
# results be larger than what went in, at no cost on disk.
mkdir "$work/job" "$work/results"
printf '%s\0' "$guest_dir" "$@" >"$work/job/argv"
tar -cf "$work/job.img" -C "$work/job" argv
truncate -s 1G "$work/job.img"
tar -cf "$work/folder.img" -C "$host_dir" .
truncate -s "+4G" "$work/folder.img"

# TCG, not KVM: a KVM guest hangs here right after the kernel starts.  The
# plain qemu64 processor starts Wine faster under emulation than `max`
# (which also needs SMAP off, or 32-bit Wine oopses the guest kernel); two
# processors let Wine and its server run side by side.  panic=-1 with
# -no-reboot turns a guest kernel panic into the end of qemu.
qemu-system-x86_64 \
	-accel tcg -cpu qemu64 -smp 2 -m 1024 \
	-nodefaults -display none -no-reboot \
	-serial "file:$work/console.log" \
	-kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" \
	-append "console=ttyS0 panic=-1 quiet" \
	-drive "file=$guest/root.img,format=raw,if=virtio,snapshot=on,cache=unsafe" \
	-drive "file=$work/job.img,format=raw,if=virtio,cache=unsafe" \
	-drive "file=$work/folder.img,format=raw,if=virtio,cache=unsafe" \
	</dev/null || fail "qemu-system-x86_64 failed (status $?)"

if ! tar -xf "$work/job.img" -C "$work/results" 2>/dev/null || [ ! -f "$work/results/status" ]; then
	echo "win32 guest: the guest stopped before the command ended; the end of its console:" >&2
	tail -n 20 "$work/console.log" >&2 || true
	exit 125
fi
[ "$(cat "$work/results/folder-status")" = 0 ] ||
	fail "the guest could not copy $guest_dir back"
tar -xf "$work/folder.img" -C "$host_dir" || fail "cannot copy the folder back into $host_dir"

cat "$work/results/stdout"
cat "$work/results/stderr" >&2
exit "$(cat "$work/results/status")"
