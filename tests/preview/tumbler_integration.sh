#!/usr/bin/env bash
# Our thumbnails in a file manager's thumbnail service: Xfce's tumbler, on a private session
# bus, finds the thumbnailer entry of a fresh installation (into a prefix whose name needs
# quoting), thumbnails a drawing with a picture into the cache and reports an error for a
# drawing without one.
# Usage: tumbler_integration.sh BUILD_DIR WRITE_DRAWING   (exit 77: the tools are not installed)
set -u
build=$1
write_drawing=$2
for tool in dbus-run-session dbus-send dbus-monitor md5sum; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
compgen -G '/usr/lib/*/tumbler-1/tumblerd' >/dev/null || { echo "skipped: tumbler is not installed"; exit 77; }

fail() { echo "FAIL: $*"; [ -f "$work/signals" ] && cat "$work/signals"; exit 1; }

. "$(dirname "$0")/../support/wait_for.sh"

if [ -z "${KVX_PRIVATE_BUS:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    prefix="$work/pre fix \"1\" 100%"
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
    mkdir -p "$work/drawings" "$work/cache" "$work/config" "$work/data"
    "$write_drawing" picture "$work/drawings/plan.dwg" || fail "writing a drawing"
    "$write_drawing" none "$work/drawings/blank.dwg" || fail "writing a drawing"
    # The bus and the service it starts see only the temporary installation and folders.
    KVX_PRIVATE_BUS=$work XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME=$work/data \
        XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config \
        dbus-run-session -- "$0" "$@" 2>"$work/bus.log"
    status=$?
    [ $status -eq 0 ] || cat "$work/bus.log"
    exit $status
fi

work=$KVX_PRIVATE_BUS
dbus-monitor --session "type='signal',interface='org.freedesktop.thumbnails.Thumbnailer1'" \
    >"$work/signals" 2>&1 &
monitor=$!
trap 'kill $monitor 2>/dev/null' EXIT
wait_for "grep -q NameAcquired '$work/signals'" 120 || fail "no bus monitor"

plan="file://$work/drawings/plan.dwg"
blank="file://$work/drawings/blank.dwg"
dbus-send --session --print-reply --reply-timeout=120000 \
    --dest=org.freedesktop.thumbnails.Thumbnailer1 /org/freedesktop/thumbnails/Thumbnailer1 \
    org.freedesktop.thumbnails.Thumbnailer1.Queue "array:string:$plan,$blank" \
    array:string:image/vnd.dwg,image/vnd.dwg string:normal string:default uint32:0 \
    >"$work/queue" 2>&1 || { cat "$work/queue"; fail "Queue was not accepted"; }

wait_for "grep -q 'member=Finished' '$work/signals'" 120 || fail "the queue did not finish"
thumb="$work/cache/thumbnails/normal/$(printf '%s' "$plan" | md5sum | cut -d' ' -f1).png"
[ -s "$thumb" ] || fail "no thumbnail in the cache for $plan"
# A PNG of the stored picture: 64 x 32 (tumbler never enlarges one).
[ "$(od -An -tx1 -N24 "$thumb" | tr -d ' \n')" = \
  89504e470d0a1a0a0000000d494844520000004000000020 ] || fail "the thumbnail is not a 64x32 PNG"
# The URIs a signal named: its string arguments.
urisOf() { awk -v m="member=$1" '/^signal / {on = index($0, m) > 0} on && /^ *string "/' "$work/signals"; }
urisOf Ready | grep -qF "\"$plan\"" || fail "no Ready for $plan"
urisOf Error | grep -qF "\"$blank\"" || fail "no Error for $blank"
! urisOf Error | grep -qF "\"$plan\"" || fail "an Error for $plan"
echo "tumbler integration passed"
