#!/bin/sh
# release_test.sh SOURCE DIST: the release files match the programs, and a
# build of the same sources in a folder of another name and depth gives the
# same programs, SHA256SUMS and zip, byte for byte.
set -eu
source=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
fail() { echo "FAIL: $*"; exit 1; }

echo "SHA256SUMS against the programs:"
(cd "$dist" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS does not match dist/"

echo "The zip's contents:"
listing=$(unzip -Z1 "$dist/berth-windows.zip" | sort | tr '\n' ' ')
[ "$listing" = "SHA256SUMS win32/berthdrop.exe win64/berthadd.exe win64/berthdrop.exe " ] ||
	fail "zip holds: $listing"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$dist/berth-windows.zip" -d "$work/unzipped"
for file in SHA256SUMS win32/berthdrop.exe win64/berthadd.exe win64/berthdrop.exe; do
	cmp "$dist/$file" "$work/unzipped/$file" || fail "$file in the zip differs from dist/"
	echo "  $file: same as dist/"
done

echo "A second build elsewhere:"
other="$work/another/checkout-of-berth"
mkdir -p "$other"
tar -C "$source" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$other" -xf -
for preset in win64 win32; do
	(cd "$other" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null) ||
		fail "the second build of $preset failed"
done
"$source/scripts/release.sh" "$other/dist"
for file in win32/berthdrop.exe win64/berthadd.exe win64/berthdrop.exe SHA256SUMS berth-windows.zip; do
	cmp "$dist/$file" "$other/dist/$file" || fail "$file differs in the second build"
	echo "  $file: byte-identical"
done
