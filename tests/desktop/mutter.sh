#!/usr/bin/env bash
# GNOME's window manager and compositor: mutter as the window manager of an X server, and as the
# compositor of a headless Wayland session with the program on XWayland. Either way every pop-up
# is whole, in the stack of the lower right corner, in a place of its own while others come and
# go, and takes the focus from nobody; the frame's class is the one the menu entry names.
# Usage: mutter.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../common/program.sh"
source "$here/session.sh"
entry_class=$(sed -n 's/^StartupWMClass=//p' "$here/../../packaging/org.parlotovrik.Parlo.desktop")

# Inside a session: runs the program, checks its windows; $2 names the session.
if [ -n "${MUTTER_SESSION:-}" ] && [ $# -eq 2 ]; then
    work=$MUTTER_SESSION
    session=$2
    log=$work/$session.log
    fail() {
        echo "mutter.sh ($session): $1" >&2
        tail -n 20 "$log" >&2
        exit 1
    }
    WXTRACE=lumora "$build/Parlo" --no-update --config "$work/Parlo.conf" > "$log" 2>&1 &
    parlo=$!
    wait_for 600 grep -q "first list of" "$log" || fail "the program did not show the list"
    frame_there() { xprop -name "Parlo Tovrik" WM_CLASS > /dev/null 2>&1; }
    wait_for 100 frame_there || fail "no frame"
    class=$(xprop -name "Parlo Tovrik" WM_CLASS | sed 's/.*, "\(.*\)"$/\1/')
    [ "$class" = "$entry_class" ] || fail "the frame's class is \"$class\", the menu entry names \"$entry_class\""
    active() { xprop -root _NET_ACTIVE_WINDOW | awk '{ print $NF }'; }
    has_focus() { [ "$(active)" != "0x0" ]; }
    wait_for 100 has_focus || fail "no window has the focus"
    focused=$(active)
    enough_popups() { [ "$(popup_geometries "$DISPLAY" | wc -l)" -ge 4 ]; }
    wait_for 300 enough_popups || fail "no pop-ups came"
    watched=$(watch_popups "$DISPLAY" 150 20 2>&1) || fail "$watched"
    [ "$(active)" = "$focused" ] || fail "the pop-ups took the focus from $focused to $(active)"
    program_stop "$log"
    echo "mutter.sh ($session): passed, $watched"
    exit 0
fi

source "$here/../../scripts/sitesim.sh"
work=$(mktemp -d)
sim_pid=""
trap 'sitesim_stop; rm -rf "$work"' EXIT
# The watch history of the test's programs stays with the test.
export XDG_DATA_HOME=$work/share
sitesim_start "$build" "$work/sitesim.log" --performers 30 --churn 0.2
# Pop-ups close while others stay, and new ones take the places left.
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2" "[PopupDialog]" "duration=8"
export MUTTER_SESSION=$work

# The window manager of an X server.
cat > "$work/x11.sh" <<EOF
#!/usr/bin/env bash
mutter --x11 --replace --sm-disable > "$work/mutter-x11.log" 2>&1 &
mutter=\$!
sleep 1
"$0" "$build" x11
status=\$?
kill \$mutter
exit \$status
EOF
chmod +x "$work/x11.sh"
xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$work/x11.sh" "$build" 2> "$work/x11.stderr" \
    || { cat "$work/x11.stderr" >&2; exit 1; }

# The compositor of a Wayland session, which starts XWayland for the program and says where.
mkdir -m 700 "$work/run"
XDG_RUNTIME_DIR=$work/run dbus-run-session -- mutter --headless --wayland --virtual-monitor 1280x800 \
    -- "$0" "$build" wayland > "$work/mutter-wayland.log" 2>&1 || { tail -n 30 "$work/mutter-wayland.log" >&2; exit 1; }
grep -q "mutter.sh (wayland): passed" "$work/mutter-wayland.log" || { tail -n 30 "$work/mutter-wayland.log" >&2; exit 1; }
echo "mutter.sh: whole pop-ups in their corner, the focus kept and the entry's class, under both"
