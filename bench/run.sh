#!/bin/bash
# run.sh: what each tool costs against its baseline, the same source built
# as plain C (see baseline.c), measured in one run and printed as a table:
#
#   start-up work of the Linux builds, in instructions (callgrind: exact);
#   file size of the Windows programs;
#   median wall time of 20 runs of the 64-bit Windows programs under Wine.
#
# Exits 1 if a ratio misses its goal.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dist="$top/dist"
build="$top/build"
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

missed=0
row() { # measure, tool figure, baseline figure, goal
	local ratio verdict
	ratio=$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.3f", a / b }')
	verdict=$(awk -v r="$ratio" -v g="$4" 'BEGIN { print (r <= g) ? "ok" : "MISSED" }')
	[ "$verdict" = ok ] || missed=1
	printf '| %-58s | %9s | %9s | %6s | <= %-4s | %-7s |\n' "$1" "$2" "$3" "$ratio" "$4" "$verdict"
}

# Puts a program and the library it needs into a folder of its own, so
# that tool and baseline start from paths of the same length.
stage() { # folder, program, library
	mkdir -p "$1"
	cp "$2" "$3" "$1/"
}

instructions() { # program args...
	env -i PATH=/usr/bin:/bin valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
		sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

median_ms() { # file of times in ns
	sort -n "$1" | awk '{ t[NR] = $1 } END { printf "%.2f", (t[int((NR + 1) / 2)] + t[int(NR / 2) + 1]) / 2 / 1e6 }'
}

echo "Benchmark of $(git -C "$top" describe --always --dirty 2>/dev/null || echo "this tree"), $(date -u +%Y-%m-%d)"
echo
printf '| %-58s | %9s | %9s | %6s | %-7s | %-7s |\n' measure tool baseline ratio goal verdict
printf '|%s|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..60})" "$(printf -- '-%.0s' {1..11})" \
	"$(printf -- '-%.0s' {1..11})" "--------" "---------" "---------"

for tool in berthadd berthdrop; do
	stage "$work/tool/$tool" "$dist/linux-x86_64/$tool" "$dist/linux-x86_64/libKUV_Act_Installer.so"
	stage "$work/base/$tool" "$build/linux-x86_64/bench/baseline/$tool" \
		"$dist/linux-x86_64/libKUV_Act_Installer.so"
	row "start-up instructions, linux-x86_64/$tool" \
		"$(instructions "$work/tool/$tool/$tool" "Acme Corp" Widget)" \
		"$(instructions "$work/base/$tool/$tool" "Acme Corp" Widget)" 1.02
done

for program in win64/berthadd.exe win64/berthdrop.exe win32/berthdrop.exe; do
	platform=${program%%/*}
	row "size in bytes, $program" "$(stat -c %s "$dist/$program")" \
		"$(stat -c %s "$build/$platform/bench/baseline/${program#*/}")" 1.05
done

# Wine: a persistent server and a warm prefix, then the runs of tool and
# baseline taken in turn, so that drift in the machine hits both alike.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p
"$wine" wineboot --init >/dev/null 2>&1
for program in berthadd.exe berthdrop.exe; do
	stage "$work/wtool/$program" "$dist/win64/$program" "$dist/standin/win64/KUV_Act_Installer.dll"
	stage "$work/wbase/$program" "$build/win64/bench/baseline/$program" \
		"$dist/standin/win64/KUV_Act_Installer.dll"
	: >"$work/t.tool"
	: >"$work/t.base"
	for round in $(seq 1 23); do
		for side in tool base; do
			cd "$work/w$side/$program"
			start=$(date +%s%N)
			"$wine" "./$program" "Acme Corp" Widget >/dev/null
			end=$(date +%s%N)
			# The first rounds only warm the caches.
			[ "$round" -le 3 ] || echo $((end - start)) >>"$work/t.$side"
		done
	done
	row "median wall ms of 20 runs under Wine, win64/$program" \
		"$(median_ms "$work/t.tool")" "$(median_ms "$work/t.base")" 1.05
done
cd "$top"
exit $missed
