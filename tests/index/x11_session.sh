#!/usr/bin/env bash
# Runs a window test in a real X session of its own: an X server (Xvfb) and a window manager
# (openbox), with the program on the xcb platform. Screenshots go to $KVX_SCREENSHOTS if set.
# Usage: x11_session.sh TEST [ARGS...]   (exit 77: the tools are not installed)
set -u
for tool in Xvfb openbox xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

display=":$((100 + RANDOM % 800))"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT

. "$(dirname "$0")/../support/wait_for.sh"

export DISPLAY=$display
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
wait_for "xwininfo -root >/dev/null 2>&1" 120 || { echo "FAIL: no X server"; exit 1; }
openbox >/dev/null 2>&1 & pids+=($!)
wait_for "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window" 120 ||
    { echo "FAIL: no window manager"; exit 1; }

QT_QPA_PLATFORM=xcb "$@"
