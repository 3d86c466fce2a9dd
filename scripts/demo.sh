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
