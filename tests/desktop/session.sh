# Sourced by the desktop tests: what they ask the session bus about the program's tray item, and
# what they look for in its windows and its log. (A pipe ends in grep -c rather than grep -q, which
# would leave before the writer is done: the writer's broken pipe would fail the pipe.)

# The name the program's StatusNotifierItem took on the bus, from its trace LOG.
item_name() {
    grep -m 1 -o "org\.kde\.StatusNotifierItem-[0-9]*-[0-9]*" "$1"
}

# Whether the panel's watcher lists the item NAME.
item_registered() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems \
        2>/dev/null | grep -c "$1" > /dev/null
}

# A property of the item NAME, as a host reads it.
item_property() {
    gdbus call --session --dest "$1" --object-path /StatusNotifierItem \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$2"
}

# What a host sends for a left click on the item NAME.
item_activate() {
    gdbus call --session --dest "$1" --object-path /StatusNotifierItem \
        --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
}

# Whether the process PID has ended.
ended() { ! kill -0 "$1" 2>/dev/null; }

# Whether the program's trace LOG is free of GTK's and GLib's complaints; shows them if not.
no_complaints() {
    ! grep -E "(Gtk|Gdk|GLib|GLib-GIO)-(CRITICAL|WARNING)" "$1"
}

# The pop-ups on the X display DISPLAY, one "WxH+X+Y" a line.
popup_geometries() {
    popup_windows "$1" | cut -d ' ' -f 2
}

# Windows that `xdotool search ARGUMENTS` finds on $DISPLAY, one id a line; fails when none
# match. xdotool ends at its first X error, which a window that goes while it walks the tree
# brings about, and then names none of the windows it found: that search is made again, so that
# no answer means no window. Fails with a message (status 2) when the tree never held still.
window_search() {
    local errors found status _
    errors=$(mktemp)
    for _ in $(seq 100); do
        status=0
        found=$(xdotool search "$@" 2> "$errors") || status=$?
        if ! grep -q "X Error" "$errors"; then
            rm -f "$errors"
            [ -z "$found" ] || echo "$found"
            return "$status"
        fi
    done
    rm -f "$errors"
    echo "window_search: the windows kept changing under xdotool search $*" >&2
    return 2
}

# The pop-ups on the X display DISPLAY, one "ID WxH+X+Y" a line: those on the screen, not one
# that is still being made, whose window may stand anywhere until it is placed and shown. Fails
# when the windows could not be listed.
popup_windows() {
    local shown tree status=0 _
    shown=$(DISPLAY=$1 window_search --onlyvisible --name '^Popup$') || status=$?
    [ "$status" -ne 1 ] || return 0
    [ "$status" -eq 0 ] || return 1
    # The lister of places ends at a window that goes, as xdotool does.
    for _ in $(seq 100); do
        tree=$(DISPLAY=$1 xwininfo -root -tree 2>/dev/null) && break
        tree=
    done
    [ -n "$tree" ] || { echo "popup_windows: the window tree could not be listed" >&2; return 1; }
    sed -n 's/^ *\(0x[0-9a-f]*\) "Popup": .*  \([0-9]*x[0-9]*+[0-9]*+[0-9]*\)  .*/\1 \2/p' <<< "$tree" \
        | grep -F -w -f <(printf '0x%x\n' $shown) || true
}

# The work area of the X display DISPLAY as "X Y WIDTH HEIGHT": what the window manager says
# is left beside its panels, else the whole screen.
workarea() {
    local area
    area=$(DISPLAY=$1 xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/^_NET_WORKAREA(CARDINAL) = \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\).*/\1 \2 \3 \4/p')
    if [ -z "$area" ]; then
        area=$(DISPLAY=$1 xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print 0, 0, w, h }')
    fi
    echo "$area"
}

# Whether every pop-up on the X display DISPLAY is whole (SIZE x SIZE device pixels, 150 unless
# given), stands inside the work area in the corner's stack (a column from its right edge, a row
# from its bottom), and has a place of its own. Says which is not.
popups_in_corner() {
    local size=${2:-150} x y width height geometry
    read -r x y width height < <(workarea "$1")
    # At scale 2 the program places in halves of these pixels: an odd edge is missed by one.
    local slack=$((size / 150 - 1))
    local -A taken=()
    for geometry in $(popup_geometries "$1"); do
        if ! [[ $geometry =~ ^${size}x${size}\+([0-9]+)\+([0-9]+)$ ]] \
            || [ "${BASH_REMATCH[1]}" -lt "$x" ] || [ "${BASH_REMATCH[2]}" -lt "$y" ] \
            || [ $(((x + width - BASH_REMATCH[1]) % size)) -gt "$slack" ] \
            || [ $(((y + height - BASH_REMATCH[2]) % size)) -gt "$slack" ] \
            || [ $((x + width - BASH_REMATCH[1])) -lt "$size" ] || [ $((y + height - BASH_REMATCH[2])) -lt "$size" ]; then
            echo "a pop-up at $geometry in the work area $width x $height at $x,$y" >&2
            return 1
        fi
        if [ -n "${taken[$geometry]:-}" ]; then
            echo "two pop-ups at $geometry, of $(popup_windows "$1" | wc -l) shown" >&2
            return 1
        fi
        taken[$geometry]=1
    done
}

# Watches the pop-ups on the X display DISPLAY for SECONDS seconds: at every look each is whole
# (SIZE x SIZE), in the stack and in a place of its own. They must also come and go meanwhile, so
# that new ones took places that others had left while others stayed: more pop-ups are seen than
# are ever open at once. Says how many.
watch_popups() {
    local display=$1 size=$2 until=$((SECONDS + $3)) open listed most=0
    local -A seen=()
    while [ "$SECONDS" -lt "$until" ]; do
        popups_in_corner "$display" "$size" || return 1
        listed=$(popup_windows "$display") || return 1
        open=0
        while read -r id _; do
            [ -n "$id" ] || continue
            seen[$id]=1
            open=$((open + 1))
        done <<< "$listed"
        [ "$open" -gt "$most" ] && most=$open
        sleep 0.1
    done
    echo "${#seen[@]} pop-ups, at most $most at once"
    if [ "${#seen[@]}" -le "$most" ] || [ "$most" -lt 2 ]; then
        echo "too few pop-ups came and went to tell" >&2
        return 1
    fi
}

# Whether the session bus has the accessibility bus's launcher.
a11y_bus() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.a11y.Bus 2>/dev/null | grep -c true > /dev/null
}

# Starts the accessibility bus as a desktop session does, its log in the folder WORK, and waits for
# it; adds it to pids. The caller's fail tells what went wrong.
accessibility_start() {
    /usr/libexec/at-spi-bus-launcher --launch-immediately > "$1/at-spi.log" 2>&1 &
    pids+=("$!")
    wait_for 300 a11y_bus || fail "no accessibility bus"
}

# Whether a window manager runs on $DISPLAY.
wm_there() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -c "window id" > /dev/null; }

# Starts openbox, its log in the folder WORK, and waits for it; adds it to pids.
openbox_start() {
    openbox --sm-disable > "$1/openbox.log" 2>&1 &
    pids+=("$!")
    wait_for 300 wm_there || fail "openbox did not start"
}

# Signs in as demo from the keyboard alone: the Tool menu by its mnemonic, the dialog's fields in
# turn. Uses the caller's key, finds, reader and fail.
sign_in_by_keys() {
    key alt+t
    wait_for 100 finds menus "^menu item	UpdateFavorite$" || fail "Alt+T does not open the Tool menu"
    key u
    local dialog
    dialog=$(timeout 30 xdotool search --sync --name '^Authentication$' | head -n 1)
    [ -n "$dialog" ] || fail "no sign-in dialog"
    wait_for 100 finds focus "^focus	text	" || fail "the sign-in dialog's first field does not have the focus: $(reader focus)"
    xdotool type --delay 20 demo
    key Tab
    xdotool type --delay 20 demo
    key Return
}

# Starts BUILD/Parlo with the configuration CONFIG, its trace in LOG, and waits for its first
# list; sets parlo and adds it to pids. The caller's fail tells what went wrong.
program_start() {
    WXTRACE=lumora "$build/Parlo" --no-update --config "$1" > "$2" 2>&1 &
    parlo=$!
    pids+=("$parlo")
    wait_for 600 grep -q "first list of" "$2" || fail "the program did not show the list"
}

# Ends that program as a session's end does: it must end with 0, its trace LOG free of
# complaints.
program_stop() {
    kill -TERM "$parlo" 2>/dev/null || true
    local status=0
    wait "$parlo" || status=$?
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
    no_complaints "$1" || fail "the program's log has the lines above"
}

# Stops whatever the test started: the processes in pids, and the simulated site.
stop_started() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    sitesim_stop
}

# Ends the script with MESSAGE, the last lines of the program's log ($log) and, on an X display, a
# picture of the screen in the build folder: what a script's own fail does.
# Usage: session_fail NAME MESSAGE
session_fail() {
    echo "$1.sh: $2" >&2
    [ -f "$log" ] && tail -n 20 "$log" >&2
    [ -z "${DISPLAY:-}" ] || import -window root "$build/desktop-$1-failed.png" 2>/dev/null || true
    exit 1
}
