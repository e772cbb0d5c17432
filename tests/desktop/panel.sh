#!/usr/bin/env bash
# The tray icon on a StatusNotifierItem panel in an XFCE session (its window manager and its
# panel, on an X server and a session bus of its own), clicked as a user clicks it; and one
# running copy per configuration file.
# Usage: panel.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${PANEL_SESSION:-}" ]; then
    # A display and a bus of our own; the panel's settings service reads its file from there.
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    export XDG_CONFIG_HOME=$work/config
    # The watch history of the test's programs stays with the test.
    export XDG_DATA_HOME=$work/share
    mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    cp "$here/xfce4-panel.xml" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/"
    PANEL_SESSION=$work xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$0" "$@"
    exit
fi
work=$PANEL_SESSION
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/parlo.log
pids=()
trap stop_started EXIT
fail() { session_fail "panel" "$*"; }

start_panel() {
    xfce4-panel --disable-wm-check > "$work/panel.log" 2>&1 &
    panel_pid=$!
    pids+=("$panel_pid")
}
stop_panel() {
    kill "$panel_pid"
    wait "$panel_pid" 2>/dev/null || true
}
# The panel's window at the bottom of the screen, and the point of the first icon in it.
icon_point() {
    local window geometry
    for window in $(xdotool search --onlyvisible --class xfce4-panel 2>/dev/null); do
        geometry=$(xdotool getwindowgeometry --shell "$window")
        eval "$geometry"
        if [ "$HEIGHT" -gt 16 ] && [ "$WIDTH" -gt 100 ]; then
            icon_x=$((X + HEIGHT / 2))
            icon_y=$((Y + HEIGHT / 2))
            return 0
        fi
    done
    return 1
}
frame_shown() { [ "$(xdotool search --onlyvisible --name '^Parlo Tovrik$' 2>/dev/null | wc -l)" -eq "$1" ]; }
# Whether the window manager keeps the frame iconized, in the task bar.
frame_iconized() {
    local window
    window=$(xdotool search --name '^Parlo Tovrik$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && xprop -id "$window" WM_STATE 2>/dev/null | grep -c "Iconic" > /dev/null
}
click_icon() { xdotool mousemove "$icon_x" "$icon_y" click "$1"; }

xfwm4 --compositor=off > "$work/xfwm4.log" 2>&1 &
pids+=("$!")
sitesim_start "$build" "$work/sitesim.log" --performers 20 --churn 0
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2"

# The program comes before the panel, as at a login where it starts first.
WXTRACE=lumora "$build/Parlo" --no-update --config "$work/Parlo.conf" > "$log" 2>&1 &
parlo=$!
pids+=("$parlo")
wait_for 600 grep -q "first list of" "$log" || fail "the program did not show the list"
item=$(item_name "$log") || fail "the program put no item on the session bus"
start_panel
wait_for 300 item_registered "$item" || fail "the panel's watcher did not get the item $item"
# Its picture at its own size and at twice that, for a panel on a screen at scale 2.
item_property "$item" IconPixmap | grep -c "(48, 48, \[.*(96, 96, \[" > /dev/null \
    || fail "the item offers its picture at one size only"
wait_for 100 icon_point || fail "no panel on the screen"
import -window root "$build/desktop-panel.png"

# A left click hides the shown frame, the next one shows it: once per click.
wait_for 100 frame_shown 1 || fail "the frame is not shown"
click_icon 1
wait_for 100 frame_shown 0 || fail "a left click did not hide the frame"
click_icon 1
wait_for 100 frame_shown 1 || fail "the second left click did not show the frame"
sleep 1
frame_shown 1 || fail "one click toggled the frame more than once"

# Minimized, the frame hides in the tray and stays there, though the window manager takes the
# iconized state off the hidden window; a left click shows it as a window, not as an icon.
xdotool windowminimize "$(xdotool search --name '^Parlo Tovrik$' | head -n 1)"
wait_for 100 frame_shown 0 || fail "minimizing did not hide the frame in the tray"
for _ in $(seq 10); do
    sleep 0.1
    frame_shown 0 || fail "the frame hidden in the tray came back by itself"
done
click_icon 1
wait_for 100 frame_shown 1 || fail "a left click did not show the frame hidden by minimizing"

# Started again with the same file, by another name of it: the hidden frame comes back, the
# second copy ends at once and asks the site for nothing.
click_icon 1
wait_for 100 frame_shown 0 || fail "a left click did not hide the frame"
WXTRACE=lumora timeout 20 "$build/Parlo" --no-update --config "$work/./Parlo.conf" > "$work/second.log" 2>&1 \
    || fail "the second start ended with status $?: $(cat "$work/second.log")"
wait_for 100 frame_shown 1 || fail "the second start did not show the running copy's frame"
if grep -q "HttpClient\|calling SiteRun" "$work/second.log"; then
    fail "the second copy went to work: $(cat "$work/second.log")"
fi
[ "$(pgrep -c -f "$build/Parlo --no-update")" -eq 1 ] || fail "more than one copy runs"

# The panel's menu: "Quiet" ticks itself and the tooltip says so.
click_icon 3
sleep 1
import -window root "$build/desktop-panel-menu.png"
xdotool key q
says_quiet() { item_property "$item" ToolTip | grep -c "quiet" > /dev/null; }
wait_for 100 says_quiet || fail "Quiet from the panel's menu did nothing"

# A panel that goes while the frame is hidden in it leaves the frame iconized in the task bar,
# not out of reach; the panel started again shows the item again, and the frame is back in it.
click_icon 1
wait_for 100 frame_shown 0 || fail "a left click did not hide the frame"
stop_panel
wait_for 100 grep -q "StatusNotifierItem: no watcher" "$log" || fail "the program did not see the panel go"
wait_for 100 frame_iconized || fail "the panel went and left the hidden frame out of reach"
start_panel
wait_for 300 item_registered "$item" || fail "the panel started again did not get the item back"
wait_for 100 icon_point || fail "no panel on the screen"
wait_for 100 eval '! frame_iconized' || fail "the frame stayed in the task bar when the panel came back"
frame_shown 0 || fail "the frame came onto the screen when the panel came back"
click_icon 1
wait_for 100 frame_shown 1 || fail "a left click did not show the frame"

# "Exit" from the panel's menu ends the program with 0.
click_icon 3
sleep 1
xdotool key x
wait_for 150 ended "$parlo" || fail "Exit from the panel's menu did not end the program"
status=0
wait "$parlo" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
no_complaints "$log" || fail "the program's log has the lines above"
echo "panel.sh: shown on the panel, clicked, minimized into it, its menu used, the frame kept in reach and the item found again after a restart; one copy"
