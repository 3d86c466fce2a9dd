#!/bin/bash
# win32_guest_test.sh: scripts/win32-guest.sh keeps its word, since
# behaviour.win32 means nothing if it does not: COMMAND's status, output and
# exact arguments come back, it runs in the folder with standard input from
# /dev/null, files written there come back; a guest that cannot boot fails
# with 125 and says why, and a machine that cannot build the guest gets 77.
# Exits 77 itself, for CTest's "skipped", only where the guest cannot be
# built here.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
guest="$top/scripts/win32-guest.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/win32-guest-test.XXXXXX")
# Readable by all: one case runs as another user.
chmod 0755 "$work"
trap 'rm -rf "$work"' EXIT
failed=0

check() { # what, expected, actual
	if [ "$2" = "$3" ]; then
		echo "ok: $1"
	else
		echo "FAIL: $1: expected [$2], got [$3]"
		failed=1
	fi
}

# build says only on standard error what it did, or why it could not.
status=0
said=$("$guest" build 2>&1) || status=$?
if [ "$status" -eq 77 ]; then
	echo "Skipped: win32_guest: ${said#win32 guest: }"
	exit 77
fi
[ "$status" -eq 0 ] || { echo "$said" >&2; exit "$status"; }

echo "One command in the guest:"
dir="$work/a folder"
mkdir "$dir"
echo "from the host" >"$dir/in.txt"
args=("two words" "quote's \"and\" \\" $'new\nline' "caf""$(printf '\303\251')" "x=y" "")
status=0
"$guest" run "$dir" bash -c '
	printf "%s\0" "$@" >args
	pwd >pwd
	readlink /proc/self/fd/0 >stdin
	command -v wine >wine
	cat in.txt >copied.txt
	echo out
	echo err >&2
	exit 3' command "${args[@]}" >"$work/out" 2>"$work/err" || status=$?
check "status" 3 "$status"
check "standard output" out "$(cat "$work/out")"
check "standard error" err "$(cat "$work/err")"
printf '%s\0' "${args[@]}" >"$work/args"
if cmp -s "$work/args" "$dir/args"; then echo "ok: arguments, byte for byte"; else
	echo "FAIL: arguments differ"
	failed=1
fi
check "working folder, at the same path" "$dir" "$(cat "$dir/pwd")"
check "standard input" /dev/null "$(cat "$dir/stdin")"
check "wine on PATH" /usr/lib/wine/wine "$(cat "$dir/wine")"
check "files written come back" "from the host" "$(cat "$dir/copied.txt")"

echo "A guest that cannot boot:"
broken="$work/broken"
mkdir "$broken"
cp "$("$guest" path)/vmlinuz" "$broken/"
: >"$broken/initrd.img"
truncate -s 16M "$broken/root.img"
status=0
"$top/win32_guest/boot.sh" "$broken" "$dir" "$dir" true >"$work/out" 2>"$work/err" || status=$?
check "status" 125 "$status"
check "says why" "win32 guest: the guest stopped before the command ended; the end of its console:" \
	"$(head -n 1 "$work/err")"

echo "Machines that cannot build the guest:"
cannot_build() { # what, expected reason, command...
	local what=$1 reason=$2 status=0 cache
	shift 2
	cache=$(mktemp -d "$work/cache.XXXXXX")
	chmod 0777 "$cache"
	"$@" env BERTH_GUEST_CACHE="$cache" "$guest" build 2>"$work/err" || status=$?
	check "$what: status" 77 "$status"
	check "$what: says why" "win32 guest: cannot be built here: $reason" "$(cat "$work/err")"
}
cannot_build "no archive" "no Debian package archive at http://127.0.0.1:9/debian" \
	env BERTH_GUEST_MIRROR=http://127.0.0.1:9/debian
if [ "$(id -u)" -eq 0 ]; then
	cannot_build "not root" "building it needs root (debootstrap and chroot)" \
		setpriv --reuid=nobody --regid=nogroup --clear-groups
fi

exit "$failed"
