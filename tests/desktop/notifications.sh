#!/usr/bin/env bash
# Pop-ups as the desktop's notifications: dunst, a real notification server, on a bare X server
# and a session bus of our own. With the option on, every pop-up the program would open comes as
# one notification with the performer's name, what happened and the thumbnail, and no window of
# ours; each names the program by its desktop entry and its icon; its action, its "Profile"
# button and a click on it open the preview page; quiet mode gives none. With the option off, the
# pop-up windows come as always.
# Usage: notifications.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${NOTIFICATIONS_SESSION:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/home"
    # The "browser" notes what it is asked to open; the program finds it as the desktop's handler
    # of web addresses, by its entry among the user's applications.
    browser=/tmp/parlo-browser-$$-$RANDOM
    mkdir "$browser"
    trap 'rm -rf "$work" "$browser"' EXIT
    printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/opened.txt"\n' "$work" > "$browser/browser.sh"
    chmod +x "$browser/browser.sh"
    mkdir -p "$work/share/applications"
    printf '[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s %%u\nMimeType=x-scheme-handler/http;\n' \
        "$browser/browser.sh" > "$work/share/applications/recorder.desktop"
    update-desktop-database "$work/share/applications"
    NOTIFICATIONS_SESSION=$work HOME=$work/home XDG_DATA_HOME=$work/share \
        xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$0" "$@"
    exit
fi
work=$NOTIFICATIONS_SESSION
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/parlo.log
pids=()
trap stop_started EXIT
fail() { session_fail "notifications" "$*"; }
# Runs the program with these lines in its configuration, until stop_program.
start_program() {
    sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=1" "$@"
    program_start "$work/Parlo.conf" "$log"
}
stop_program() { program_stop "$log"; }
notifications() {
    echo $(($(dunstctl count displayed) + $(dunstctl count waiting) + $(dunstctl count history)))
}
popup_count() { xwininfo -root -tree | grep -c '"Popup"' || true; }
# Each notification the program asked for, on one line, as the bus saw it.
notify_calls() {
    awk '/^[^ ]/ { if (call != "") print call; call = "" }
         /member=Notify$/ { call = "Notify"; next }
         call != "" && !/^ *([0-9a-f][0-9a-f] *)+$/ { gsub(/^ +| +$/, ""); gsub(/ +/, " "); call = call " " $0 }
         END { if (call != "") print call }' "$work/notify.log"
}
# How many of them match the extended regular expression.
calls_with() { notify_calls | grep -c -E "$1" || true; }
# How many times the desktop ran the action named.
invoked() { grep -A2 "member=ActionInvoked" "$work/notify.log" | grep -c "string \"$1\"" || true; }
opened_pages() { if [ -f "$work/opened.txt" ]; then wc -l < "$work/opened.txt"; else echo 0; fi; }

dunst -config "$here/dunstrc" > "$work/dunst.log" 2>&1 &
pids+=("$!")
dunst_there() { dunstctl count displayed > /dev/null 2>&1; }
wait_for 100 dunst_there || fail "dunst did not start"
dbus-monitor --session "interface='org.freedesktop.Notifications'" > "$work/notify.log" 2>&1 &
pids+=("$!")
# Performers come and go, and become free, at every poll.
sitesim_start "$build" "$work/sitesim.log" --performers 30 --churn 0.3

# On: one notification per pop-up the program would open, and no pop-up window. The settings are
# written as people write them by hand.
start_program "[PopupDialog]" "duration=60" "desktopNotifications=true"
some_notifications() { [ "$(notifications)" -ge 4 ]; }
wait_for 300 some_notifications || fail "no notifications came"
# The site holds its breath: what was announced so far is all there is to show.
kill -STOP "$sim_pid"
announced() { grep -c "PopupDialogManager: announcing" "$log" || true; }
all_shown() { [ "$(notifications)" -eq "$(announced)" ]; }
wait_for 300 all_shown || fail "$(notifications) notifications for $(announced) pop-ups"
kill -CONT "$sim_pid"
[ "$(popup_count)" -eq 0 ] || fail "pop-up windows came as well"
stop_program
# Each with the name, what happened and the thumbnail at the pop-up's size.
grep -q 'string "is online"\|string "is free now"' "$work/notify.log" || fail "no notification says what happened"
grep -A3 'string "image-data"' "$work/notify.log" | grep -c "int32 107" > /dev/null || fail "no notification has the thumbnail"
# Each says whose it is, so that the desktop can group and silence ours: our desktop entry, our
# icon; and has a "default" action, which the desktop runs for a click on it, beside "Profile".
calls=$(calls_with .)
[ "$calls" -ge 4 ] || fail "only $calls notifications on the bus"
[ "$(calls_with '"desktop-entry" variant string "org\.parlotovrik\.Parlo"')" -eq "$calls" ] \
    || fail "a notification without our desktop entry"
[ "$(calls_with '^Notify string "[^"]*" uint32 [0-9]+ string "parlo" ')" -eq "$calls" ] \
    || fail "a notification without our icon"
[ "$(calls_with 'array \[ (string "[^"]*" )*string "default" ')" -eq "$calls" ] \
    || fail "a notification without a default action"
[ "$(calls_with 'array \[ (string "[^"]*" )*string "Profile" ')" -eq "$calls" ] \
    || fail "a notification without its Profile button"
# Of normal urgency: desktops show no banner for a low one.
[ "$(calls_with '"urgency" variant byte 1 ')" -eq "$calls" ] || fail "a notification not of normal urgency"

# Its action opens the preview page of its performer.
dunstctl close-all
start_program "[PopupDialog]" "duration=60" "desktopNotifications=Yes"
shown() { [ "$(dunstctl count displayed)" -ge 1 ]; }
wait_for 300 shown || fail "no notification came"
dunstctl action 0
opened() { grep -q "/preview.shtml?" "$work/opened.txt" 2>/dev/null; }
wait_for 100 opened || fail "the notification's action opened nothing"
name=$(sed -n 's|.*/preview.shtml?||p' "$work/opened.txt" | sed -n 1p)
grep -q "string \"$name\"" "$work/notify.log" || fail "the preview page of $name, who was not announced"
stop_program

# So do its "Profile" button, chosen from dunst's menu of actions, and a click on it: a real click
# of the pointer, which runs its "default" action.
dunstctl close-all
start_program "[PopupDialog]" "duration=60" "desktopNotifications=ON"
wait_for 300 shown || fail "no notification came"
pages=$(opened_pages)
dunstctl context
more_pages() { [ "$(opened_pages)" -gt "$pages" ]; }
wait_for 100 more_pages || fail "the notification's Profile button opened nothing"
pages=$(opened_pages)
defaults=$(invoked default)
dunst_window() { window_search --onlyvisible --class Dunst | sed -n 1p; }
window_there() { [ -n "$(dunst_window)" ]; }
wait_for 100 window_there || fail "no window of dunst's"
xdotool mousemove --window "$(dunst_window)" 10 10 click 1
wait_for 100 more_pages || fail "a click on the notification opened nothing"
default_run() { [ "$(invoked default)" -gt "$defaults" ]; }
wait_for 100 default_run || fail "a click on the notification ran another action than its default"
name=$(sed -n '$s|.*/preview.shtml?||p' "$work/opened.txt")
grep -q "string \"$name\"" "$work/notify.log" || fail "the preview page of $name, who was not announced"
stop_program

# Quiet: none.
before=$(notifications)
start_program "[PopupDialog]" "duration=60" "desktopNotifications=1" "quiet=TRUE"
polls() { grep -c "online_performers.js" "$work/sitesim.log" || true; }
polled=$(polls)
five_polls() { [ "$(polls)" -ge $((polled + 5)) ]; }
wait_for 300 five_polls || fail "the program does not poll"
stop_program
[ "$(notifications)" -eq "$before" ] || fail "quiet mode let notifications through"

# Off: the pop-up windows, and no notification; so is a value that says neither, which is traced.
start_program "[PopupDialog]" "duration=60" "desktopNotifications=maybe"
some_popups() { [ "$(popup_count)" -ge 2 ]; }
wait_for 300 some_popups || fail "no pop-up windows came"
stop_program
[ "$(notifications)" -eq "$before" ] || fail "notifications came with the option off"
grep -q '/PopupDialog/desktopNotifications = "maybe"' "$log" || fail "the value not taken was not traced"
echo "notifications.sh: one notification per pop-up, ours by its entry and icon, with its picture, its action and its click; none in quiet mode; windows when off"
