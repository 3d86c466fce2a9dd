#!/bin/sh
# ensure-packages.sh PACKAGE...: make sure these Debian packages are there.
# As root, installs the missing ones and says which; otherwise names them,
# with the command that installs them, and fails.
set -eu

if ! command -v dpkg-query >/dev/null 2>&1; then
	echo "Not a Debian system: make sure these (or their like) are installed: $*" >&2
	exit 0
fi

missing=
for package in "$@"; do
	if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q ' installed$'; then
		missing="$missing $package"
	fi
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -ne 0 ]; then
	echo "Missing Debian packages:$missing" >&2
	echo "Install them with:" >&2
	echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends$missing" >&2
	exit 1
fi

echo "Installing missing Debian packages:$missing"
apt-get update -q
# shellcheck disable=SC2086 # one word per package
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
