#!/usr/bin/env bash
# The program in a real X session with a real notification area (trayer) and a window
# manager (openbox): the icon appears on minimise, a click restores the window and removes
# the icon, "Exit" in the icon's menu ends the program and leaves no icon behind.
# Usage: tray_integration.sh PROGRAM   (exit 77: the tools are not installed)
set -u
program=$1
. "$(dirname "$0")/../support/x_session.sh"
require_tools Xvfb trayer openbox xdotool xwininfo xprop

fail() {
    echo "FAIL: $*"
    xwininfo -root -tree 2>/dev/null | grep -iE 'korvenix|panel'
    tail -n 20 "$work/trayer.log" 2>/dev/null
    exit 1
}

start_x_server || fail "no X server"
start_window_manager || fail "no window manager"
startPanel() {
    trayer --edge top --align right --widthtype pixel --width 200 --height 32 \
        >>"$work/trayer.log" 2>&1 &
    panel=$!
    pids+=($panel)
}
startPanel
# A panel that gave up while the session was still starting is started again.
panelShown() {
    xwininfo -root -tree | grep -q '"panel"' && return 0
    kill -0 "$panel" 2>/dev/null || { echo "the panel ended; starting it again"; startPanel; }
    return 1
}
# First starts (server, panel, program) load fonts and libraries cold: they get two minutes.
wait_for panelShown 120 || fail "no notification area"

mkdir -p "$work/config/Stalwen" "$work/desktop" "$work/xdg"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"autoname"=dword:00000000\r\n"bigimage"=dword:00000000\r\n"ontop"="0"\r\n' \
    > "$work/config/Stalwen/Korvenix31.reg"
XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/xdg XDG_DESKTOP_DIR=$work/desktop \
    QT_QPA_PLATFORM=xcb "$program" >"$work/program.log" 2>&1 & app=$!
pids+=($app)

# The main window, and the icon as a child of the notification area's panel.
mainWindow() { xdotool search --onlyvisible --name '^ Korvenix 3.1$' 2>/dev/null | head -n 1; }
iconGeometry() {
    xwininfo -root -tree | awk '/"panel"/ {inpanel=1} inpanel && /"Korvenix 3.1": \("korvenix31"/ {print $NF; exit}'
}
wait_for '[ -n "$(mainWindow)" ]' 120 || fail "the window did not open"
[ -z "$(iconGeometry)" ] || fail "an icon while the window shows"

clickIcon() { # button
    local g x y
    g=$(iconGeometry)           # +X+Y of the icon on the screen
    x=${g#+}; x=${x%%+*}; y=${g##*+}
    sleep 0.5 # a freshly embedded icon takes a moment to take input
    xdotool mousemove $((x + 8)) $((y + 8)) click "$1"
    xdotool mousemove 10 700
}

for round in 1 2; do
    xdotool windowminimize "$(mainWindow)"
    wait_for '[ -n "$(iconGeometry)" ]' || fail "no icon after minimising (round $round)"
    wait_for '[ -z "$(mainWindow)" ]' || fail "the window still shows (round $round)"
    [ "$(xwininfo -root -tree | grep -c '"Korvenix 3.1": ("korvenix31"' )" -ge 1 ] || fail "icon count"
    clickIcon 1
    wait_for '[ -n "$(mainWindow)" ]' || fail "a click did not restore the window (round $round)"
    wait_for '[ -z "$(iconGeometry)" ]' || fail "the icon stayed after restoring (round $round)"
done

# The panel restarts while the window is in the notification area: the icon comes back.
xdotool windowminimize "$(mainWindow)"
wait_for '[ -n "$(iconGeometry)" ]' || fail "no icon before the panel restarts"
kill "$panel"
wait_for "! xwininfo -root -tree | grep -q '\"panel\"'" || fail "the panel did not go"
startPanel
wait_for '[ -n "$(iconGeometry)" ]' 120 || fail "the icon did not come back with the panel"

# "Exit" is the last of the menu's three items.
clickIcon 3
menu() { xwininfo -root -tree | awk '/"Korvenix 3.1": \("korvenix31"/ && $0 !~ /22x|1x1/ && / [0-9]+x[0-9]+\+/ {print}' | grep -v '367x' | head -n 1; }
wait_for '[ -n "$(menu)" ]' || fail "the menu did not open"
read -r w h x y <<<"$(menu | sed -E 's/.* ([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\1 \2 \3 \4/')"
xdotool mousemove $((x + w / 2)) $((y + h - h / 6)) click 1
wait_for '! kill -0 $app 2>/dev/null' || fail "Exit did not end the program"
[ -z "$(iconGeometry)" ] || fail "an icon was left behind"
echo "tray integration passed"
