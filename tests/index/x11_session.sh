#!/usr/bin/env bash
# Runs a window test in a real X session of its own: an X server (Xvfb) and a window manager
# (openbox), with the program on the xcb platform. Screenshots go to $KVX_SCREENSHOTS if set.
# Usage: x11_session.sh TEST [ARGS...]   (exit 77: the tools are not installed)
set -u
. "$(dirname "$0")/../support/x_session.sh"
require_tools Xvfb openbox xdotool xwininfo xprop wmctrl

start_x_server || { echo "FAIL: no X server"; exit 1; }
start_window_manager || { echo "FAIL: no window manager"; exit 1; }

QT_QPA_PLATFORM=xcb "$@"
