#!/bin/sh
# demo.sh: the tools at work against the stand-in library, from dist/.
set -eu
cd "$(dirname "$0")/../dist/linux-x86_64"

# Prints the command as it would be typed, then runs it.
show() {
	line='$'
	for word in "$@"; do
		case $word in
		*' '*) line="$line \"$word\"" ;;
		*) line="$line $word" ;;
		esac
	done
	echo "$line"
	env "$@"
	echo
}

echo "Linux build, with the stand-in library beside the tools:"
echo
show ./berthadd "Acme Corp" "Widget Pro"
show KUV_STANDIN_RESULT=0 KUV_STANDIN_LAST_ERROR=5 ./berthdrop "Acme Corp" "Widget Pro"
show ./berthadd "Acme Corp"

# The Windows programs, each with the stand-in DLL beside it, under Wine.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "(No Wine here: the Windows programs are not shown.)"; exit 0; }
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
cp ../win64/berthadd.exe ../win64/berthdrop.exe ../standin/win64/KUV_Act_Installer.dll "$work"
cd "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "64-bit Windows programs under Wine (its first start takes a few seconds):"
echo
"$wine" wineboot --init >/dev/null 2>&1
show "$wine" berthadd.exe "Acme Corp" "Widget Pro"
show KUV_STANDIN_RESULT=0 KUV_STANDIN_LAST_ERROR=5 "$wine" berthdrop.exe "Acme Corp" "Widget Pro"
show "$wine" berthdrop.exe
