#!/usr/bin/env bash
# The tray item with a watcher that drops it, as one of GNOME's extensions did soon after taking
# an item: a stand-in watcher on a session bus of our own. A drop it signals and a drop it only
# shows in its list are both mended by registering again; a watcher that keeps the item sees one
# registration; one that drops the item every time is asked a few times only.
# Usage: watcher.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WATCHER_SESSION:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/share"
    # The watch history of the test's program stays with the test.
    WATCHER_SESSION=$work XDG_DATA_HOME=$work/share \
        xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$0" "$@"
    exit
fi
work=$WATCHER_SESSION
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/parlo.log
pids=()
trap stop_started EXIT
fail() { session_fail "watcher" "$*"; }

# A stand-in watcher, dropping as told (see dropping-watcher.py), its notes in $work/watcher.log.
start_watcher() {
    : > "$work/watcher.log"
    /usr/bin/python3 "$here/dropping-watcher.py" "$@" > "$work/watcher.log" 2>&1 &
    watcher_pid=$!
    pids+=("$watcher_pid")
    wait_for 100 grep -q "^watching" "$work/watcher.log" || fail "the stand-in watcher did not start"
}
stop_watcher() {
    kill "$watcher_pid"
    wait "$watcher_pid" 2>/dev/null || true
    no_watcher() { grep -q "StatusNotifierItem: no watcher" "$log"; }
    wait_for 100 no_watcher || fail "the program did not see the watcher go"
}
registrations() { grep -c "^registered $item\$" "$work/watcher.log" || true; }
# Whether the program has asked the watcher's list since N registrations and found the item there.
listed_after() {
    [ "$(registrations)" -ge "$1" ] && [ "$(grep -c "the watcher lists $item" "$log" || true)" -ge "$2" ]
}

sitesim_start "$build" "$work/sitesim.log" --performers 5
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0"

# A drop the watcher signals: registered again, listed, and the panel shows it again.
start_watcher signal once
program_start "$work/Parlo.conf" "$log"
item=$(item_name "$log") || fail "the program put no tray item on the bus"
twice() { [ "$(registrations)" -ge 2 ]; }
wait_for 100 twice || fail "the item was not registered again after a signalled drop"
wait_for 100 listed_after 2 1 || fail "the watcher does not list the item after it was registered again"
item_registered "$item" || fail "the item is not registered"
grep -q "StatusNotifierItem: shown by a panel" "$log" || fail "the program does not know the panel shows the item"
[ "$(grep -c "^dropped" "$work/watcher.log")" -eq 1 ] || fail "the watcher dropped the item more than once"
stop_watcher

# A drop that only shows in the watcher's list: seen in it a few seconds later, and mended too.
start_watcher silent once
wait_for 150 twice || fail "the item was not registered again after a silent drop"
wait_for 100 listed_after 2 2 || fail "the watcher does not list the item after a silent drop"
stop_watcher

# A watcher that keeps the item: one registration, one look at its list.
start_watcher keep once
wait_for 100 listed_after 1 3 || fail "the program did not see the item listed"
[ "$(registrations)" -eq 1 ] || fail "the item was registered $(registrations) times with a watcher that kept it"
stop_watcher

# A watcher that drops every item every time: asked again a few times, with a growing pause, then
# left alone, and the program goes on.
start_watcher signal always
given_up() { grep -q "StatusNotifierItem: the watcher dropped $item 5 times, it is not registered again" "$log"; }
wait_for 600 given_up || fail "the program did not give up on a watcher that drops everything"
[ "$(registrations)" -eq 5 ] || fail "$(registrations) registrations with a watcher that drops everything"
program_stop "$log"
echo "watcher.sh: registered again after a drop signalled or only listed, once with a watcher that keeps it, five times at most"
