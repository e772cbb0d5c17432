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
    DISPLAY=$1 xwininfo -root -tree | grep '"Popup"' | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*  ' | tr -d ' '
}

# Whether every pop-up on the X display DISPLAY is whole (150 x 150) and stands in the corner's
# stack: a column from the right edge of the screen, a row from its bottom. Says which is not.
popups_in_corner() {
    local width height geometry
    read -r width height < <(DISPLAY=$1 xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
    for geometry in $(popup_geometries "$1"); do
        if ! [[ $geometry =~ ^150x150\+([0-9]+)\+([0-9]+)$ ]] \
            || [ $(((width - BASH_REMATCH[1]) % 150)) -ne 0 ] || [ $(((height - BASH_REMATCH[2]) % 150)) -ne 0 ]; then
            echo "a pop-up at $geometry on a $width x $height screen" >&2
            return 1
        fi
    done
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
