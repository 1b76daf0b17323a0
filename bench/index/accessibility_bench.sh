#!/bin/sh
# The Index tab's batch button over 10,000 drawings (or DRAWINGS), clicked with Qt's
# accessibility bridge off and then on, as when a screen reader runs
# (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), and the ratio of the two. The bridge needs a display
# (Xvfb here, through the xcb platform), a session bus and the accessibility bus that
# at-spi2-core's launcher starts on it; the benchmark's "accessible" counter says whether it was
# really on.
#
#   bench/index/accessibility_bench.sh BUILD_DIR [DRAWINGS]
set -eu
build=$1
drawings=${2:-10000}
bench=$build/bench/index/index_build_bench
for tool in xvfb-run dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "accessibility_bench: $tool is not installed" >&2; exit 77; }
done
[ -x /usr/libexec/at-spi-bus-launcher ] ||
    { echo "accessibility_bench: at-spi2-core is not installed" >&2; exit 77; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Two rounds each, one right after the other, each in a session of its own.
round() {
    name=$1
    shift
    xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- \
        env "$@" QT_QPA_PLATFORM=xcb "$bench" --benchmark_filter="BM_BatchButton/$drawings/" \
        --benchmark_format=csv >"$out/$name.csv" 2>"$out/$name.err" ||
        { cat "$out/$name.err" >&2; exit 1; }
}
# Qt turns the bridge on when the variable is there at all, whatever its value.
round off -u QT_LINUX_ACCESSIBILITY_ALWAYS_ON
round on QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# The median of the repetitions, and whether the bridge was on.
summary() {
    awk -F, -v want="$2" '
        NR == 1 { for (i = 1; i <= NF; ++i) col[$i] = i; next }
        $1 ~ /_median"?$/ { printf "%s", $(col["\"" want "\""] ? col["\"" want "\""] : col[want]) }
    ' "$out/$1.csv"
}
off=$(summary off real_time)
on=$(summary on real_time)
echo "batch of $drawings drawings, median of 2 rounds (s):"
echo "  bridge off: $off   (accessible: $(summary off accessible))"
echo "  bridge on:  $on   (accessible: $(summary on accessible))"
awk -v a="$on" -v b="$off" 'BEGIN { printf "  on / off:   %.2f\n", a / b }'
