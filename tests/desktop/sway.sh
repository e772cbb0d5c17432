#!/usr/bin/env bash
# A Wayland session as wlroots desktops have it: sway, headless, with XWayland and waybar as its
# panel, the program started by the compositor. Its tray item is on waybar, the activation a host
# sends shows and hides the frame, the pop-ups stand in their corner, each in a place of its own
# while others come and go, and GTK complains of nothing.
# Sway refuses to run as root: as root, the session runs as nobody.
# Usage: sway.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${SWAY_SESSION:-}" ]; then
    build=$(cd "$1" && pwd)
    source "$here/../../scripts/sitesim.sh"
    work=$(mktemp -d)
    sim_pid=""
    trap 'sitesim_stop; rm -rf "$work"' EXIT
    # Whatever the session's user needs, where that user may read it or write.
    mkdir -p "$work/program" "$work/home/.config/sway" "$work/home/.config/waybar" "$work/run"
    cp -r "$build/Parlo" "$build/Parlo.so" "$build/Parlo.skin" "$build/ja" "$work/program/"
    cp "$here/sway.config" "$work/home/.config/sway/config"
    cp "$here/waybar.config" "$work/home/.config/waybar/config"
    # The session's own part of this script runs as that user too, from where it may read it.
    mkdir -p "$work/tests/desktop" "$work/tests/common"
    cp "$0" "$here/session.sh" "$work/tests/desktop/"
    cp "$here/../common/program.sh" "$work/tests/common/"
    sitesim_start "$build" "$work/sitesim.log" --performers 30 --churn 0.2
    # Pop-ups close while others stay, and new ones take the places left.
    sitesim_config "$work/home/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2" \
        "[PopupDialog]" "duration=8"
    chmod -R a+rX "$work"
    chmod 700 "$work/run"
    as_user=()
    if [ "$(id -u)" -eq 0 ]; then
        chown -R nobody:nogroup "$work/home" "$work/run"
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    status=0
    "${as_user[@]}" env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
        XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" SWAY_SESSION="$work" \
        dbus-run-session -- "$work/tests/desktop/$(basename "$0")" "$@" || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 20 "$work/home/sway.log" >&2 || true
        cp "$work/home/shot.png" "$build/desktop-sway-failed.png" 2>/dev/null || true
    else
        cp "$work/home/shot.png" "$build/desktop-sway.png" 2>/dev/null || true
    fi
    exit "$status"
fi

work=$SWAY_SESSION
source "$here/../common/program.sh"
source "$here/session.sh"
log=$HOME/parlo.log
fail() {
    echo "sway.sh: $*" >&2
    [ -f "$log" ] && tail -n 20 "$log" >&2
    grim "$HOME/shot.png" 2>/dev/null || true
    exit 1
}
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
sway > "$HOME/sway.log" 2>&1 &
sway=$!
trap 'kill $sway 2>/dev/null || true' EXIT
socket_there() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock > /dev/null 2>&1; }
wait_for 300 socket_there || fail "sway did not start"
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | sed -n 1p)
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | sed -n 1p)")
export SWAYSOCK WAYLAND_DISPLAY
watcher_there() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher 2>/dev/null | grep -c true > /dev/null
}
wait_for 300 watcher_there || fail "waybar's tray did not come"

# Started by the compositor, as a session starts its programs: it has both displays.
swaymsg exec "exec env WXTRACE=lumora $work/program/Parlo --no-update --config $HOME/Parlo.conf > $log 2>&1" > /dev/null
wait_for 600 grep -q "first list of" "$log" || fail "the program did not show the list"
parlo=$(pgrep -u "$(id -u)" -f "$work/program/Parlo" | sed -n 1p)
display=$(tr '\0' '\n' < "/proc/$parlo/environ" | sed -n 's/^DISPLAY=//p')
[ -n "$display" ] || fail "sway gave the program no X display"
item=$(item_name "$log") || fail "the program put no item on the session bus"
wait_for 300 item_registered "$item" || fail "waybar's watcher did not get the item $item"

# The host's activation hides the shown frame and shows it again.
frame_in_tree() { swaymsg -t get_tree | grep -c '"name": "Parlo Tovrik"' > /dev/null; }
not_in_tree() { ! frame_in_tree; }
wait_for 100 frame_in_tree || fail "the frame is not shown"
item_activate "$item"
wait_for 100 not_in_tree || fail "the activation did not hide the frame"
item_activate "$item"
wait_for 100 frame_in_tree || fail "the second activation did not show the frame"

# The pop-ups of the arrivals, on XWayland, in the stack of the lower right corner.
enough_popups() { [ "$(popup_geometries "$display" | wc -l)" -ge 4 ]; }
wait_for 300 enough_popups || fail "no pop-ups came"
grim "$HOME/shot.png" || true
watched=$(watch_popups "$display" 150 20 2>&1) || fail "$watched"

kill -TERM "$parlo"
wait_for 300 ended "$parlo" || fail "the program did not end"
grep -q "unloaded" "$log" || fail "the program did not end cleanly"
no_complaints "$log" || fail "the program's log has the lines above"
echo "sway.sh: on waybar, shown and hidden by the activation, pop-ups in their corner, each in a place of its own ($watched)"
