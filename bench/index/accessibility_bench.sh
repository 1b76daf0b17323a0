#!/bin/sh
# The Index tab's batch button over 10,000 drawings (or DRAWINGS), clicked with Qt's
# accessibility bridge off, then on with a screen reader listening, and the ratio of the two.
# The bridge needs a display (Xvfb here, through the xcb platform), a session bus, and the
# accessibility bus of at-spi2-core already running when the program starts; it tells only
# what someone listens for, so a stand-in reader (screen_reader_stub) asks for every event, as
# Orca does, and counts what it gets. The benchmark's "accessible" counter says whether the
# bridge was really on.
#
#   bench/index/accessibility_bench.sh BUILD_DIR [DRAWINGS]
set -eu
build=$(cd "$1" && pwd)
drawings=${2:-10000}
bench=$build/bench/index/index_build_bench
reader=$build/bench/index/screen_reader_stub
for tool in xvfb-run dbus-run-session dbus-send; do
    command -v "$tool" >/dev/null || { echo "accessibility_bench: $tool is not installed" >&2; exit 77; }
done
[ -x /usr/libexec/at-spi-bus-launcher ] ||
    { echo "accessibility_bench: at-spi2-core is not installed" >&2; exit 77; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# One round (two repetitions) in a session of its own. $1: its name; $2: "reader" to have
# the stand-in reader listen; the rest: the environment of the benchmark.
round() {
    name=$1 listen=$2
    shift 2
    OUT=$out NAME=$name LISTEN=$listen READER=$reader \
    xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- sh -c '
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
            org.a11y.Bus.GetAddress >/dev/null || exit 1
        if [ "$LISTEN" = reader ]; then
            "$READER" >"$OUT/$NAME.events" &
            reader=$!
            while ! grep -q ready "$OUT/$NAME.events" 2>/dev/null; do
                kill -0 "$reader" 2>/dev/null || exit 1
                sleep 0.1
            done
        fi
        env "$@"
        status=$?
        if [ "$LISTEN" = reader ]; then kill -TERM "$reader"; wait "$reader"; fi
        exit $status' sh "$@" QT_QPA_PLATFORM=xcb "$bench" \
        --benchmark_filter="BM_BatchButton/$drawings/" --benchmark_format=csv \
        >"$out/$name.csv" 2>"$out/$name.err" || { cat "$out/$name.err" >&2; exit 1; }
}
# Qt turns the bridge on when the variable is there at all, whatever its value.
round off none -u QT_LINUX_ACCESSIBILITY_ALWAYS_ON
round on reader QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# A column of the median row of a round's results.
median() {
    awk -F, -v want="$2" '
        /^name,/ { for (i = 1; i <= NF; ++i) { c = $i; gsub(/"/, "", c); col[c] = i }; next }
        /_median"?,/ { print $(col[want]) }
    ' "$out/$1.csv"
}
off=$(median off real_time)
on=$(median on real_time)
echo "batch of $drawings drawings through the window, median of 2 rounds, seconds:"
echo "  bridge off:                      $off (accessible: $(median off accessible))"
echo "  bridge on, a screen reader listening: $on (accessible: $(median on accessible))"
echo "  events the reader got (start-up and both rounds), by kind:"
grep -v ready "$out/on.events" | sed 's/^/    /'
awk -v a="$on" -v b="$off" 'BEGIN { printf "  on / off: %.2f\n", a / b }'
