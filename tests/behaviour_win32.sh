#!/bin/sh
# behaviour_win32.sh BEHAVIOUR_TEST DIST: the behaviour table against the
# 32-bit Windows berthdrop.exe, under 32-bit Wine in the emulated guest
# (scripts/win32-guest.sh), all of it in one boot.  Builds the guest first
# if it is not built.  Exits 77, which CTest counts as skipped, only where
# the guest cannot be built on this machine, and says why.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
guest="$top/scripts/win32-guest.sh"

# build says only on standard error what it did, or why it could not.
status=0
said=$("$guest" build 2>&1) || status=$?
if [ "$status" -eq 77 ]; then
	echo "Skipped: behaviour.win32: ${said#win32 guest: }"
	exit 77
fi
[ "$status" -eq 0 ] || { echo "$said" >&2; exit "$status"; }

# What the suite needs, in a folder that the guest gets at the same path.
stage=$(mktemp -d "${TMPDIR:-/tmp}/behaviour-win32.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/win32" "$stage/standin"
cp "$1" "$stage/behaviour_test"
cp "$2/win32/berthdrop.exe" "$stage/win32/"
cp "$2/standin/win32/KUV_Act_Installer.dll" "$stage/standin/"

"$guest" run "$stage" env BERTH_RUNNER=wine32 BERTH_TOOLS=berthdrop \
	BERTH_TOOL_DIR="$stage/win32" BERTH_STANDIN_DIR="$stage/standin" \
	BERTH_WINEPREFIX=/root/.wine ./behaviour_test
