#!/bin/bash
# signing_test.sh SOURCE DIST: Authenticode signing of a copy of the
# release, by scripts/release.sh with SIGN_CERT and SIGN_KEY, with a
# throwaway CA and code-signing certificate made here.  Each program
# verifies against that CA; signing changes nothing but the certificate
# table (with its directory entry and the header checksum over the file);
# SHA256SUMS and the zip hold the signed programs; a build without the
# variables gives the unsigned bytes back; a key or file that cannot serve
# stops it, leaving no SHA256SUMS or zip.
# shellcheck disable=SC2317 # the helpers run through check
set -euo pipefail
source=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
programs="win32/berthdrop.exe win64/berthadd.exe win64/berthdrop.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

check() { # what, command...
	local what=$1
	shift
	if "$@"; then
		echo "ok: $what"
	else
		echo "FAIL: $what"
		failed=1
	fi
}

# A copy of the release's programs, unsigned, in a fresh folder.
copy_release() { # folder
	rm -rf "$1"
	mkdir -p "$1/win32" "$1/win64"
	for program in $programs; do
		cp "$dist/$program" "$1/$program"
	done
}

echo "A throwaway CA, a code-signing certificate and a stranger's key:"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
	-subj "/CN=berth test CA" -addext basicConstraints=critical,CA:true \
	-addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout key.pem -out signer.csr \
	-subj "/CN=berth test code signing" 2>/dev/null
printf '%s\n' basicConstraints=CA:false keyUsage=critical,digitalSignature \
	extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
	-extfile signer.ext -out signer.pem 2>/dev/null
cat signer.pem ca.pem >chain.pem
openssl genrsa -out stranger.pem 2048 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout stranger-ca.key -out stranger-ca.pem -days 2 \
	-subj "/CN=another CA" 2>/dev/null

# The offsets, counted from 1 as cmp -l does, of the header checksum and
# the certificate table's directory entry: all that signing may change in
# the bytes that were there before.
header_offsets() { # program
	local pe magic directories
	pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
	magic=$(od -An -tx2 -j$((pe + 24)) -N2 "$1" | tr -d ' ')
	directories=$((pe + 24 + $([ "$magic" = 020b ] && echo 112 || echo 96)))
	seq $((pe + 24 + 64 + 1)) $((pe + 24 + 64 + 4))
	seq $((directories + 32 + 1)) $((directories + 32 + 8))
}

only_the_certificate_table_changed() { # unsigned, signed
	local size changed allowed
	size=$(stat -c %s "$1")
	changed=$(cmp -l "$1" <(head -c "$size" "$2") | awk '{ print $1 }' || true)
	allowed=$(header_offsets "$1")
	[ -n "$changed" ] && [ -z "$(comm -23 <(sort <<<"$changed") <(sort <<<"$allowed"))" ]
}

echo "Signing a copy of the release:"
copy_release "$work/signed"
SIGN_CERT=chain.pem SIGN_KEY=key.pem "$source/scripts/release.sh" "$work/signed"
for program in $programs; do
	osslsigncode verify -CAfile ca.pem -in "$work/signed/$program" >"$work/verify" 2>&1 || true
	check "$program verifies against the CA" grep -q '^Signature verification: ok' "$work/verify"
	check "$program is signed with SHA-256" grep -q '^Message digest algorithm *: SHA256' "$work/verify"
	osslsigncode verify -CAfile stranger-ca.pem -in "$work/signed/$program" >"$work/verify" 2>&1 || true
	check "$program does not verify against another CA" \
		grep -q '^Signature verification: failed' "$work/verify"
	check "$program: nothing else changed" \
		only_the_certificate_table_changed "$dist/$program" "$work/signed/$program"
	osslsigncode remove-signature -in "$work/signed/$program" -out "$work/removed.exe" >/dev/null
	check "$program: the signature removed, the unsigned bytes are back" \
		cmp "$dist/$program" "$work/removed.exe"
	rm "$work/removed.exe"
done
sums_match() { # folder
	(cd "$1" && sha256sum --quiet -c SHA256SUMS)
}
check "SHA256SUMS holds the signed programs" sums_match "$work/signed"
mkdir "$work/unzipped"
unzip -q "$work/signed/berth-windows.zip" -d "$work/unzipped"
for file in $programs SHA256SUMS; do
	check "the zip's $file is the signed one" cmp "$work/signed/$file" "$work/unzipped/$file"
done

echo "The same release built again without the variables:"
"$source/scripts/release.sh" "$work/signed"
for file in $programs SHA256SUMS berth-windows.zip; do
	check "$file: the unsigned build's bytes" cmp "$dist/$file" "$work/signed/$file"
done

echo "Signatures that cannot be made:"
cannot_sign() { # what, expected message, variables...
	local what=$1 message=$2 status=0
	shift 2
	copy_release "$work/failing"
	touch "$work/failing/SHA256SUMS" "$work/failing/berth-windows.zip"
	env "$@" "$source/scripts/release.sh" "$work/failing" >/dev/null 2>"$work/err" || status=$?
	check "$what: stops the build" [ "$status" -ne 0 ]
	check "$what: says why" grep -q "$message" "$work/err"
	check "$what: leaves no SHA256SUMS" [ ! -e "$work/failing/SHA256SUMS" ]
	check "$what: leaves no zip" [ ! -e "$work/failing/berth-windows.zip" ]
	for program in $programs; do
		check "$what: $program unsigned" cmp -s "$dist/$program" "$work/failing/$program"
	done
}
cannot_sign "a key of another certificate" "key values mismatch" \
	SIGN_CERT=chain.pem SIGN_KEY=stranger.pem
cannot_sign "no certificate file" "Failed to read certificate file: .*/no-such.pem" \
	SIGN_CERT=no-such.pem SIGN_KEY=key.pem
cannot_sign "no key file" "Failed to read private key file: .*/no-such.pem" \
	SIGN_CERT=chain.pem SIGN_KEY=no-such.pem
cannot_sign "a certificate without its key" "set both SIGN_CERT and SIGN_KEY" \
	SIGN_CERT=chain.pem

exit "$failed"
