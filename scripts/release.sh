#!/bin/sh
# release.sh DIST: writes DIST/SHA256SUMS over the three Windows programs and
# DIST/berth-windows.zip with win32/, win64/ and SHA256SUMS.  The zip is the
# same bytes from the same programs: fixed times, modes and order, and no
# extra fields.
set -eu
dist=$1
files="win32/berthdrop.exe win64/berthadd.exe win64/berthdrop.exe"

cd "$dist"
sha256sum $files > SHA256SUMS

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/win32" "$stage/win64"
for file in $files SHA256SUMS; do
	cp "$file" "$stage/$file"
done
chmod 0755 "$stage/win32" "$stage/win64"
chmod 0644 "$stage/SHA256SUMS" "$stage"/win*/*.exe
TZ=UTC touch -t 198001010000 "$stage/win32" "$stage/win64" "$stage/SHA256SUMS" "$stage"/win*/*.exe

rm -f berth-windows.zip
(cd "$stage" && TZ=UTC zip -q -X -D "$OLDPWD/berth-windows.zip" SHA256SUMS $files)
