# Sourced by the tests that run in an X session of their own. It gives them a scratch folder,
# $work, and the array pids for the processes they start: when the script exits, those are
# ended and the folder removed.
. "$(dirname "${BASH_SOURCE[0]}")/wait_for.sh"

work=$(mktemp -d)
pids=()
end_session() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap end_session EXIT

# require_tools TOOL...: the test is skipped (exit 77) when one of them is not installed.
require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
    done
}

# start_x_server: an X server (Xvfb) on a display it finds free itself, so that two sessions
# never share one; exports DISPLAY. The server never resets: a reset between two clients (the
# readiness check, then the window manager) would refuse the second one. 1 when no server
# answers within two minutes.
start_x_server() {
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" \
        >/dev/null 2>&1 &
    pids+=($!)
    wait_for '[ -s "$work/display" ]' 120 || return 1
    DISPLAY=":$(head -n 1 "$work/display")"
    export DISPLAY
    wait_for "xwininfo -root >/dev/null 2>&1" 120
}

# start_window_manager: openbox, once it manages the screen (the root names its check window;
# before that xprop may answer "no such atom on any window"). One that gave up while the server
# was still starting is started again. 1 when none manages it within two minutes.
start_window_manager() {
    local wm
    wmManages() {
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id #' && return 0
        kill -0 "$wm" 2>/dev/null || { openbox >/dev/null 2>&1 & wm=$!; pids+=($wm); }
        return 1
    }
    openbox >/dev/null 2>&1 &
    wm=$!
    pids+=($wm)
    wait_for wmManages 120
}
