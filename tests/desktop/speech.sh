#!/usr/bin/env bash
# The program as a blind user hears it: the screen reader Orca runs over it on a display, a session
# bus and a window manager (openbox) of their own, the program is used from the keyboard alone, and
# what Orca speaks is read from its debug log: the current row on every return to a tree, the
# search field's hint and result, the Favorite page before and after the sign-in, a row's menu by
# its performer, and a group's count once a poll.
# Usage: speech.sh BUILD_DIR
# With SPEECH_KEEP=1 the session's logs stay in the folder it names on stderr.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${SPEECH_SESSION:-}" ]; then
    work=$(mktemp -d)
    if [ -n "${SPEECH_KEEP:-}" ]; then
        echo "speech.sh: the session's logs are in $work" >&2
    else
        trap 'rm -rf "$work"' EXIT
    fi
    # The watch history of the test's programs stays with the test.
    export XDG_DATA_HOME=$work/share
    # In a process namespace of its own: Orca will not start while another orca of the same user
    # runs, so it must not see the machine's; and when the namespace's first process ends, the
    # kernel ends whatever the session left behind (speech-dispatcher, the accessibility buses).
    SPEECH_SESSION=$work unshare --pid --fork --kill-child --mount-proc "$0" "$@" 2> "$work/session.stderr" &
    namespace=$!
    # unshare holds SIGTERM and SIGINT back; its end (by SIGKILL) ends the namespace.
    trap 'kill -KILL "$namespace" 2>/dev/null; echo "speech.sh: interrupted" >&2; exit 1' INT TERM HUP
    wait "$namespace" || { grep -v "dbus-daemon\|SpiRegistry" "$work/session.stderr" >&2; exit 1; }
    exit 0
fi
if [ "$$" -eq 1 ]; then
    # The namespace's first process. Xvfb tells its parent that it is ready only when that is not
    # process 1, so xvfb-run runs below this one. A session bus that starts nothing by itself, as
    # in reading.sh.
    xvfb-run -a -s '-screen 0 1280x800x24 -noreset' \
        dbus-run-session --config-file="$here/bare-bus.conf" -- "$0" "$@"
    exit 0
fi
work=$SPEECH_SESSION
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/parlo.log
orca_log=$work/orca-debug.log
pids=()
trap stop_started EXIT
fail() {
    if [ -s "$orca_log" ]; then
        echo "speech.sh: the end of Orca's debug log:" >&2
        tail -n 15 "$orca_log" >&2
    fi
    session_fail "speech" "$*"
}
key() { xdotool key --clearmodifiers "$@"; }
reader() { /usr/bin/python3 "$here/accessible.py" org.parlotovrik.Parlo "$@"; }
finds() { reader "$1" | grep -c -E "$2" > /dev/null; }

# Where Orca's debug log stands now: what is spoken after it is "since" this mark.
mark() { stat -c %s "$orca_log"; }
# What Orca has spoken (since MARK, else from its start), one utterance a line, text only. The log
# has "TIME - SPEECH OUTPUT: 'TEXT'" and the voice after it; a TEXT of several lines goes on in
# lines indented under the time, and is told here on one line.
spoken() {
    tail -c "+$((${1:-0} + 1))" "$orca_log" | awk -v q="'" '
        function tell() { sub(end, "", text); sub(/ +$/, "", text); print text; open = 0 }
        BEGIN { start = "SPEECH OUTPUT: " q; end = q "( voice=[^ {]+)? ?([{].*[}]|None)?$" }
        open && /^                  / { sub(/^ +/, ""); text = text " " $0; if ($0 ~ end) tell(); next }
        open { tell() }
        index($0, start) { text = substr($0, index($0, start) + length(start)); open = 1; if (text ~ end) tell() }
        END { if (open) tell() }'
}
# Whether Orca has spoken an utterance matching the extended expression REGEX since MARK.
heard_since() { spoken "$1" | grep -c -E "$2" > /dev/null; }
# Waits up to TENTHS (50 unless given) tenths of a second for that.
# Usage: said_since MARK REGEX [TENTHS]
said_since() { wait_for "${3:-50}" heard_since "$1" "$2"; }
# Waits until Orca has said nothing more since MARK for half a second, at most three seconds.
settle() {
    local last=-1 now still=0
    for _ in $(seq 30); do
        now=$(spoken "$1" | wc -l)
        if [ "$now" -eq "$last" ]; then
            still=$((still + 1))
            [ "$still" -lt 5 ] || return 0
        else
            still=0
            last=$now
        fi
        sleep 0.1
    done
}

# The accessibility bus, as a desktop session starts it, and a window manager.
accessibility_start "$work"
openbox_start "$work"

# Another program's window, to leave the program for and come back from. It is there before Orca
# starts: a reader that learns of a window in its first moments may keep it as not showing.
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk
window = Gtk.Window(title="other"); window.add(Gtk.Button(label="Another program")); window.show_all(); Gtk.main()' \
    2> /dev/null &
pids+=("$!")
other_window() { other=$(window_search --name '^other$' | head -n 1) && [ -n "$other" ]; }
wait_for 300 other_window || fail "no other window"

# Orca's home of its own: its preferences, and the speech-dispatcher it starts, whose sound goes
# to libao's null driver. There is no sound card: the default output (Pulse) stops answering after
# a few utterances, and Orca waits on it for good.
orca_home=$work/orca-home
speechd_conf=$orca_home/.config/speech-dispatcher
mkdir -p "$orca_home/prefs" "$orca_home/.cache" "$speechd_conf"
mkdir -m 0700 "$orca_home/runtime"
printf '%s\n' "default_driver=null" "quiet" > "$orca_home/.libao"
# Read instead of the system's speechd.conf, so what that one holds that speaking needs is here.
{
    echo 'LogLevel 3'
    echo 'LogDir "default"'
    echo 'DefaultVolume 100'
    echo 'AudioOutputMethod "libao"'
    echo 'DefaultModule espeak-ng'
    echo 'AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"'
    grep -E '^[[:space:]]*SymbolsPreproc' /etc/speech-dispatcher/speechd.conf
    echo 'Include "clients/*.conf"'
} > "$speechd_conf/speechd.conf"
# The module's and clients' files are looked up beside the configuration that is read.
ln -s /etc/speech-dispatcher/modules "$speechd_conf/modules"
ln -s /etc/speech-dispatcher/clients "$speechd_conf/clients"
: > "$orca_log"
HOME=$orca_home XDG_CONFIG_HOME=$orca_home/.config XDG_CACHE_HOME=$orca_home/.cache \
    XDG_RUNTIME_DIR=$orca_home/runtime GSETTINGS_BACKEND=memory \
    /usr/bin/python3 "$here/orca-wrapper.py" --debug-file "$orca_log" --user-prefs "$orca_home/prefs" \
    > "$work/orca.out" 2>&1 &
orca=$!
pids+=("$orca")
# Orca listens once it has started the accessibility registry's loop; it logs that just before.
orca_ready() { grep -c "ORCA: Starting registry" "$orca_log" > /dev/null || ended "$orca"; }
wait_for 600 orca_ready || fail "Orca was not ready within a minute"
! ended "$orca" || fail "Orca ended at its start: $(cat "$work/orca.out")"
# What speech-dispatcher logged (it logs under the runtime folder), should speaking fail.
speechd_log() { tail -n 10 "$orca_home"/runtime/speech-dispatcher/log/*.log 2>/dev/null || echo "(no log)"; }
grep -q "SPEECH: Using speech server factory" "$orca_log" || fail "Orca has no speech server; speech-dispatcher's log: $(speechd_log)"
wait_for 100 pgrep -x sd_espeak-ng > /dev/null || fail "speech-dispatcher runs no espeak-ng; its log: $(speechd_log)"
said_since 0 "^Screen reader on\.$" || fail "Orca did not say it is on: $(spoken)"

# After KEYS, Orca says something matching the extended expression REGEX within ten seconds;
# fails saying WHAT did not happen. Leaves the mark before the keys in "at".
# Usage: hear KEYS REGEX WHAT
hear() {
    at=$(mark)
    key $1
    said_since "$at" "$2" 100 || fail "$3; after $1 Orca said: $(spoken "$at" | tr '\n' '|')"
    settle "$at"
}
# After KEYS, Orca says the tree TREE (or its page, which bears its name) and next one of its rows
# within ten seconds, pop-ups' news aside; fails saying WHAT did not happen. Orca says the page
# alone when it has followed the page's tab before the focus came into the tree.
# Usage: hear_tree KEYS TREE WHAT
hear_tree() {
    at=$(mark)
    key $1
    wait_for 100 tree_then_row "$at" "$2" || fail "$3; after $1 Orca said: $(spoken "$at" | tr '\n' '|')"
    settle "$at"
}
# Whether Orca, since MARK, said the tree TREE or its page and right after it one of its rows.
tree_then_row() {
    spoken "$1" | grep -v "^notification " | grep -A 1 -E "^$2 (tree|page tab)\.?$" | tail -n 1 \
        | grep -c -E "$row|^(Online|Offline) \(" > /dev/null
}
# How often Orca said an utterance matching the extended expression REGEX since MARK.
times_said() { spoken "$1" | grep -c -E "$2" || true; }
# The moments, in seconds of the day, at which Orca began an utterance matching REGEX since MARK.
# Usage: moments_said MARK REGEX
moments_said() {
    tail -c "+$(($1 + 1))" "$orca_log" | grep -E "SPEECH OUTPUT: '$2" \
        | sed -n -E 's/^([0-9]+):([0-9]+):([0-9.]+) - .*/\1 \2 \3/p' | awk '{ printf "%.3f\n", $1 * 3600 + $2 * 60 + $3 }'
}
row=", (free|busy|offline)\.?$"

# The list changes at every poll, so that groups' counts change while the user listens.
favorites=Anna_23,LenaCat,Mia_Rose,LittleYuna
sitesim_start "$build" "$work/sitesim.log" --performers 30 --churn 0.2 --account demo:demo --favorites "$favorites"
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2"
at=$(mark)
program_start "$work/Parlo.conf" "$log"
frame=$(timeout 30 xdotool search --sync --name '^Parlo Tovrik$' | head -n 1)
[ -n "$frame" ] || fail "no frame"
xdotool windowactivate --sync "$frame" 2>/dev/null || true
wait_for 100 finds focus "^focus	tree	All$" || fail "the tree does not have the focus: $(reader focus)"
# Coming to the tree says the tree and its current row: the first one when none was chosen.
wait_for 100 tree_then_row "$at" All || fail "the tree's first row is not said as the window comes up: $(spoken "$at" | tr '\n' '|')"
settle "$at"

hear Down "$row" "moving down says no performer"

# The search field's hint once; after a pause in the typing the result, once; Down reaches the
# first match; Esc leaves the field for the tree, whose row is said.
hear ctrl+f "^Find a performer\.?$" "Ctrl+F does not say the search field's hint"
[ "$(times_said "$at" "Find a performer")" -eq 1 ] || fail "the search field's hint is said more than once: $(spoken "$at" | tr '\n' '|')"
at=$(mark)
# Most names hold an "a", so that one still does when Down is pressed, whatever the polls did.
xdotool type --delay 50 a
said_since "$at" "^[0-9]+ performers? match(es)? \"a\"\.?$|^No performer matches \"a\"\.?$" 100 \
    || fail "a search for \"a\" says no result: $(spoken "$at" | tr '\n' '|')"
settle "$at"
[ "$(times_said "$at" " match(es)? \"")" -eq 1 ] || fail "the search's result is said more than once: $(spoken "$at" | tr '\n' '|')"
if ! heard_since "$at" "^No performer"; then
    hear Down "^[^ ]*[Aa][^ ]*$row" "Down in the search field does not reach the first match"
    wait_for 100 finds focus "^focus	tree	All$" || fail "Down in the search field leaves the focus on $(reader focus)"
fi
hear ctrl+f "^Search text\.?$" "Ctrl+F does not reach the search field"
hear_tree Escape All "Esc from the search field says no row of the tree"

# The Favorite page before the sign-in says why it is empty; the All page's tree its row.
hear ctrl+Next "^Sign in with Tool → UpdateFavorite to see your favourites\.?$" "the closed Favorite page says nothing of the sign-in"
hear_tree ctrl+Prior All "Ctrl+PageUp to the All page says no row"

# A row's menu is said with the row's performer; after Esc the row is said again.
performer=$(reader trees | sed -n -E 's/^row	All	([^	,]+), (free|busy)	.*selected.*/\1/p' | head -n 1)
[ -n "$performer" ] || hear Down "$row" "moving down says no performer"
performer=$(reader trees | sed -n -E 's/^row	All	([^	,]+), (free|busy)	.*selected.*/\1/p' | head -n 1)
hear shift+F10 "^$performer menu\.?$" "the row's menu is not said as $performer's"
# A poll may have taken the performer meanwhile: the row then selected is said.
hear_tree Escape All "no row is said again after the menu"

# Back from another program's window, the tree's row is said.
at=$(mark)
xdotool windowactivate --sync "$other" 2>/dev/null || true
said_since "$at" "^other frame|^Another program" 100 || fail "Orca does not follow to the other window: $(spoken "$at" | tr '\n' '|')"
at=$(mark)
xdotool windowactivate --sync "$frame" 2>/dev/null || true
wait_for 100 tree_then_row "$at" All || fail "coming back to the window says no row: $(spoken "$at" | tr '\n' '|')"
settle "$at"

# On a group row, each poll's new count is said once, not the counts it passed through.
key Home
wait_for 100 finds trees "^row	All	Online \([0-9]+\)	selected" || fail "Home does not reach the group: $(reader trees)"
at=$(mark)
wait_for 300 eval '[ "$(times_said "$at" "^Online \(")" -ge 3 ]' \
    || fail "three polls' counts are not said on the group: $(spoken "$at" | tr '\n' '|')"
moments_said "$at" "Online \(" | awk 'NR > 1 && $1 - last < 1 { bad = 1 } { last = $1 } END { exit bad }' \
    || fail "the group's count is said more than once a poll: $(moments_said "$at" "Online \(" | tr '\n' ' ')"

# Signed in, the Favorite page works as the All page: its tree and row are said, Tab goes from
# the tree to the search field and back.
sign_in_by_keys
wait_for 300 finds trees "^row	Favorite	Offline \([0-9]+\)" || fail "the Favorite tree has no groups after signing in: $(reader trees)"
hear_tree ctrl+Prior All "Ctrl+PageUp to the All page says no row"
hear_tree ctrl+Next Favorite "Ctrl+PageDown to the Favorite page says no row"
wait_for 100 finds focus "^focus	tree	Favorite$" || fail "Ctrl+PageDown leaves the focus on $(reader focus)"
hear Tab "^Find a performer\.?$|[Ss]earch" "Tab from the Favorite tree does not reach the search field"
hear_tree Tab Favorite "Tab from the search field does not come back to the tree's row"
wait_for 100 finds focus "^focus	tree	Favorite$" || fail "Tab from the search field goes to $(reader focus)"

# The program leaves with the reader attached, and without a complaint of the toolkit's. (Orca,
# which may then wait on the accessibility registry as it leaves, ends with the namespace.)
program_stop "$log"
echo "speech.sh: the current row said on every return, the search's hint and result once, the Favorite page before and after the sign-in, menus with their row, counts once a poll"
