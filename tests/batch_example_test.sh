#!/bin/bash
# batch_example_test.sh SOURCE DIST: examples/reinstall-anchor-service.bat
# run by Wine's cmd beside the 64-bit programs and the stand-in library;
# its output, byte for byte, and its exit status, case by case.
set -euo pipefail
source=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
failed=0

folder="$work/install"
mkdir "$folder"
cp "$source/examples/reinstall-anchor-service.bat" "$dist/win64/berthadd.exe" \
	"$dist/win64/berthdrop.exe" "$dist/standin/win64/KUV_Act_Installer.dll" "$folder/"
"$wine" wineboot --init >/dev/null 2>&1

# trial LABEL STATUS [VARIABLE=value...] -- ARGUMENT...: runs the batch file
# with the stand-in scripted by the variables; the lines it must print come
# on standard input.
trial() {
	local label=$1 status=$2 actual=0
	shift 2
	local settings=()
	while [ "$1" != -- ]; do
		settings+=("$1")
		shift
	done
	shift
	sed 's/$/\r/' >"$work/expected"
	(cd "$folder" && env "${settings[@]}" "$wine" cmd /c reinstall-anchor-service.bat "$@") \
		>"$work/actual" 2>/dev/null || actual=$?
	if cmp -s "$work/expected" "$work/actual" && [ "$actual" = "$status" ]; then
		echo "ok: $label"
	else
		echo "FAIL: $label: exit status $actual (expected $status); output:"
		diff "$work/expected" "$work/actual" | cat -A || true
		failed=1
	fi
}

trial "both succeed" 0 -- "Acme Corp" "Widget Pro" <<'EOF'
berthdrop: Successfully uninstalled anchor service for publisher Acme Corp, product Widget Pro
berthadd: Successfully installed anchor service for publisher Acme Corp, product Widget Pro
The anchor service is installed.
EOF

trial "both fail" 1 KUV_STANDIN_RESULT=0 KUV_STANDIN_LAST_ERROR=-1 -- "Acme Corp" "Widget Pro" <<'EOF'
berthdrop: Error -1 attempting to uninstall service
berthadd: Error -1 attempting to install service
The anchor service is not installed: error -1.
EOF

trial "one name" 2 -- "Acme Corp" <<'EOF'
berthdrop: Usage: berthdrop publisher_name product_name
usage: reinstall-anchor-service.bat publisher_name product_name
EOF

trial "three names" 2 -- Acme Widget extra <<'EOF'
berthdrop: Usage: berthdrop publisher_name product_name
usage: reinstall-anchor-service.bat publisher_name product_name
EOF

trial "names holding cmd's special characters" 0 -- "Acme & Sons (EU)" "Widget <Pro> | O'Brien! ^x" <<'EOF'
berthdrop: Successfully uninstalled anchor service for publisher Acme & Sons (EU), product Widget <Pro> | O'Brien! ^x
berthadd: Successfully installed anchor service for publisher Acme & Sons (EU), product Widget <Pro> | O'Brien! ^x
The anchor service is installed.
EOF

trial "two empty names" 0 -- "" "" <<'EOF'
berthdrop: Successfully uninstalled anchor service for publisher , product 
berthadd: Successfully installed anchor service for publisher , product 
The anchor service is installed.
EOF

rm "$folder/KUV_Act_Installer.dll"
trial "no library beside the tools" 1 -- "Acme Corp" "Widget Pro" <<'EOF'
berthdrop: no line
Stopped: berthdrop did not answer as it should.
EOF

exit "$failed"
