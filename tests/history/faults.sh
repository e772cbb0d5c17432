#!/usr/bin/env bash
# The watch history's file when things go wrong, with the real program against the simulated
# site. Killed at random moments while it writes, the program always leaves a file that passes
# SQLite's integrity check and keeps every poll it wrote before the kill. A damaged file, and
# another program's database, are moved aside whole and a new history starts. A folder the
# program may not write pauses the history with a note in the status line, the file untouched,
# and the watching goes on.
# Usage: faults.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
work=$(mktemp -d)
sim_pid=""
parlo=""
log=$work/parlo.log
trap '[ -z "$parlo" ] || kill -KILL "$parlo" 2>/dev/null; sitesim_stop; rm -rf "$work"' EXIT
fail() {
    echo "faults.sh: $*" >&2
    [ -f "$log" ] && tail -n 20 "$log" >&2
    exit 1
}

sitesim_start "$build" "$work/sitesim.log" --performers 40 --churn 0.5
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=1" "[PopupDialog]" "quiet=1"
export XDG_DATA_HOME=$work/share
db=$XDG_DATA_HOME/Lumora/history.sqlite

# Starts PROGRAM (the build's unless given), its traces in $log.
start() {
    WXTRACE=lumora "${1:-$build/Parlo}" --no-update --config "$work/Parlo.conf" > "$log" 2>&1 &
    parlo=$!
}
# Ends it as a session's end does.
stop() {
    kill -TERM "$parlo"
    local status=0
    wait "$parlo" || status=$?
    parlo=""
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
written() { grep -q "history: polls up to [0-9]* written" "$log"; }

# Killed at random moments while it writes: a poll a second, half the performers changing.
kills=${KILLS:-50}
for run in $(seq "$kills"); do
    start
    wait_for 300 written || fail "run $run wrote no poll"
    sleep "$((RANDOM % 2)).$((RANDOM % 10))$((RANDOM % 10))"
    kill -KILL "$parlo"
    wait "$parlo" 2>/dev/null || true
    parlo=""
    checked=$(sqlite3 "$db" "PRAGMA integrity_check")
    [ "$checked" = ok ] || fail "after kill $run the file says: $checked"
    last=$(grep -o "history: polls up to [0-9]* written" "$log" | tail -n 1 | tr -dc 0-9)
    kept=$(sqlite3 "$db" "SELECT max(last_poll) FROM watched")
    [ "$kept" -ge "$last" ] || fail "kill $run lost the poll of $last: the file ends at $kept"
done
sessions=$(sqlite3 "$db" "SELECT count(*) FROM sessions")

# A damaged file, and another program's database: each moved aside whole, and a new history.
asides=0
for kind in damaged foreign; do
    rm -f "$db" "$db-wal" "$db-shm"
    if [ "$kind" = damaged ]; then
        head -c 20000 /dev/urandom > "$db"
    else
        sqlite3 "$db" "CREATE TABLE notes(text); INSERT INTO notes VALUES('kept')"
    fi
    before=$(md5sum < "$db")
    start
    wait_for 300 written || fail "no poll was written after the $kind file"
    stop
    grep -q "is no history .*moved aside as" "$log" || fail "the $kind file was not moved aside"
    asides=$((asides + 1))
    aside=$(ls -t "$db".damaged-* | head -n 1)
    [ "$(ls "$db".damaged-* | wc -l)" -eq "$asides" ] || fail "the $kind file is not beside the history"
    [ "$(md5sum < "$aside")" = "$before" ] || fail "the $kind file was changed"
    [ "$(sqlite3 "$db" "SELECT count(*) FROM sessions")" -gt 0 ] || fail "the new history after the $kind file is empty"
done

# A folder the program may not write. As root, the program runs as nobody, for whom the mode
# counts; whatever it needs is where that user may read it.
readonly=$work/readonly
mkdir -p "$readonly/Lumora" "$work/program"
cp "$db" "$readonly/Lumora/history.sqlite"
cp -r "$build/Parlo" "$build/Parlo.so" "$build/Parlo.skin" "$build/ja" "$work/program/"
chmod -R a+rX "$work"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$readonly" "$work/Parlo.conf"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
chmod 400 "$readonly/Lumora/history.sqlite"
chmod 500 "$readonly/Lumora"
before=$(md5sum < "$readonly/Lumora/history.sqlite")
lists=$(grep -c online_performers.js "$work/sitesim.log")
"${as_user[@]}" env XDG_DATA_HOME="$readonly" HOME="$work" WXTRACE=lumora \
    xvfb-run -a "$work/program/Parlo" --no-update --config "$work/Parlo.conf" > "$log" 2>&1 &
parlo=$!
paused() { grep -q "status line: .*watch history paused: its folder cannot be written" "$log"; }
wait_for 300 paused || fail "the status line does not say that the history is paused"
watching() { [ "$(grep -c online_performers.js "$work/sitesim.log")" -ge $((lists + 5)) ]; }
wait_for 300 watching || fail "the watching did not go on"
pkill -TERM -P "$parlo" Parlo 2>/dev/null || true
wait "$parlo" || fail "the program ended badly without its history"
parlo=""
[ "$(grep -c "watch history paused" "$log")" -ge 1 ] || fail "no note"
[ "$(md5sum < "$readonly/Lumora/history.sqlite")" = "$before" ] || fail "the file it may not write changed"

echo "faults.sh: $kills kills kept every poll written ($sessions sessions), a damaged and a foreign file moved aside, a folder it may not write paused the history and not the watching"
