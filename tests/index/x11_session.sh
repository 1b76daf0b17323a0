#!/usr/bin/env bash
# Runs a window test in a real X session of its own: an X server (Xvfb) and a window manager
# (openbox), with the program on the xcb platform. Screenshots go to $KVX_SCREENSHOTS if set.
# Usage: x11_session.sh TEST [ARGS...]   (exit 77: the tools are not installed)
set -u
for tool in Xvfb openbox xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "$0")/../support/x_session.sh"

start_x_server "$work/display" || { echo "FAIL: no X server"; exit 1; }
start_window_manager || { echo "FAIL: no window manager"; exit 1; }

QT_QPA_PLATFORM=xcb "$@"
