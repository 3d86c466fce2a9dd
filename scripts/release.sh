#!/bin/sh
# release.sh DIST: writes DIST/SHA256SUMS over the three Windows programs and
# DIST/berth-windows.zip with win32/, win64/ and SHA256SUMS.  The zip is the
# same bytes from the same programs: fixed times, modes and order, and no
# extra fields.
#
# With SIGN_CERT and SIGN_KEY set (PEM files: the certificate, which may be
# followed by its chain, and its private key), the programs are first
# signed in place with Authenticode, SHA-256, by osslsigncode, and
# time-stamped by the RFC 3161 server SIGN_TIMESTAMP_URL if that is set;
# the sums and the zip then cover the signed programs.  Without them, a
# signature left by an earlier signed build is removed, so the programs
# are the plain, reproducible build.  A signature that cannot be made stops
# the script with osslsigncode's message, leaving no SHA256SUMS or zip.
set -eu
files="win32/berthdrop.exe win64/berthadd.exe win64/berthdrop.exe"
cert=${SIGN_CERT:-}
key=${SIGN_KEY:-}
timestamp_url=${SIGN_TIMESTAMP_URL:-}

fail() {
	echo "release.sh: $*" >&2
	exit 1
}

# Runs osslsigncode quietly; if it fails, shows all it said (versions
# before 2.9 write their errors to standard output) and stops.
osslsigncode_or_fail() { # what failed, arguments...
	what=$1
	shift
	if ! osslsigncode "$@" >"$work/osslsigncode.out" 2>&1; then
		cat "$work/osslsigncode.out" >&2
		fail "$what"
	fi
}

absolute() {
	case $1 in
	/*) echo "$1" ;;
	*) echo "$PWD/$1" ;;
	esac
}

# The size of a PE file's certificate table, from its data directory: 0 for
# a program that is not signed.
certificate_table_size() {
	pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
	case $(od -An -tx2 -j$((pe + 24)) -N2 "$1" | tr -d ' ') in
	010b) directories=$((pe + 24 + 96)) ;;
	020b) directories=$((pe + 24 + 112)) ;;
	*) fail "$1 is not a Windows program" ;;
	esac
	od -An -tu4 -j$((directories + 4 * 8 + 4)) -N4 "$1" | tr -d ' '
}

[ -z "$cert" ] || cert=$(absolute "$cert")
[ -z "$key" ] || key=$(absolute "$key")
cd "$1"
# Nothing that claims to cover the programs stays while they change, nor
# after a failure.
rm -f SHA256SUMS berth-windows.zip
if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
	fail "set both SIGN_CERT and SIGN_KEY to sign, or neither"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for file in $files; do
	[ "$(certificate_table_size "$file")" = 0 ] && continue
	osslsigncode_or_fail "cannot remove the signature of $file" \
		remove-signature -in "$file" -out "$work/unsigned"
	cp "$work/unsigned" "$file"
	rm "$work/unsigned"
done

if [ -n "$cert" ]; then
	if [ -n "$timestamp_url" ]; then
		set -- -ts "$timestamp_url"
	else
		set --
	fi
	# All three signed aside first, so that a failure leaves none signed.
	for file in $files; do
		mkdir -p "$work/signed/${file%/*}"
		osslsigncode_or_fail "cannot sign $file" sign -certs "$cert" -key "$key" -h sha256 "$@" \
			-in "$file" -out "$work/signed/$file"
	done
	for file in $files; do
		cp "$work/signed/$file" "$file"
	done
fi

# shellcheck disable=SC2086 # the file names hold no blanks
sha256sum $files >SHA256SUMS

stage="$work/stage"
mkdir -p "$stage/win32" "$stage/win64"
for file in $files SHA256SUMS; do
	cp "$file" "$stage/$file"
done
chmod 0755 "$stage/win32" "$stage/win64"
chmod 0644 "$stage/SHA256SUMS" "$stage"/win*/*.exe
TZ=UTC touch -t 198001010000 "$stage/win32" "$stage/win64" "$stage/SHA256SUMS" "$stage"/win*/*.exe

# shellcheck disable=SC2086 # the file names hold no blanks
(cd "$stage" && TZ=UTC zip -q -X -D "$OLDPWD/berth-windows.zip" SHA256SUMS $files)
