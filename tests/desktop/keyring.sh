#!/usr/bin/env bash
# The site password in the desktop's keyring: GNOME Keyring's Secret Service on a session bus of
# our own, the sign-in through the real dialog, typed with xdotool; an older configuration's
# password moved there at start, and read from there for the next sign-in. While the keyring
# asks to be unlocked, the window goes on working, and when the user cancels that, the password
# stays in the file, as it does on a bus without a Secret Service.
# Usage: keyring.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KEYRING_SESSION:-}" ]; then
    work=$(mktemp -d)
    trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
    export KEYRING_SESSION=$work
    mkdir -p "$work/home"
    # The keyring keeps its files under the home folder: a home of our own.
    export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
    xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$0" "$build" keyring
    rm -rf "$work/home/.local/share/keyrings"
    xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$0" "$build" locked
    xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session --config-file="$here/bare-bus.conf" -- "$0" "$build" none
    echo "keyring.sh: the password in the keyring, moved there from an old file; the window free while the keyring asks; in the file without one"
    exit
fi

work=$KEYRING_SESSION
session=$2
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/$session.log
config=$work/$session.conf
pids=()
trap stop_started EXIT
fail() {
    echo "keyring.sh ($session): $*" >&2
    import -window root "$work/$session-failed.png" 2>/dev/null || true
    [ -f "$log" ] && tail -n 20 "$log" >&2
    exit 1
}
start_program() { program_start "$config" "$log"; }
stop_program() { program_stop "$log"; }
# Chooses UpdateFavorite, types the user name and the password into the sign-in dialog as a user
# does (an empty one: the field is left as it comes), and presses OK.
sign_in() {
    local frame dialog
    frame=$(timeout 20 xdotool search --sync --name '^Parlo Tovrik$' | sed -n 1p)
    xdotool windowfocus --sync "$frame" key alt+t
    sleep 0.5
    xdotool key u
    dialog=$(timeout 20 xdotool search --sync --name '^Authentication$' | sed -n 1p)
    [ -n "$dialog" ] || fail "no sign-in dialog"
    xdotool windowfocus --sync "$dialog"
    sleep 0.5
    [ -n "$1" ] && xdotool key ctrl+a type --delay 20 "$1"
    xdotool key Tab
    [ -n "$2" ] && xdotool key ctrl+a type --delay 20 "$2"
    xdotool key Tab space
}
sign_ins() { grep -c "GET /tovrik?username=viewer&password=$1 200" "$work/$session.sim" || true; }
signed_in_with() { [ "$(sign_ins "$1")" -gt "${2:-0}" ]; }
stored() { secret-tool lookup host "$host" user viewer 2>/dev/null; }
in_keyring() { [ "$(stored)" = "$1" ]; }
no_password_in() { ! grep -q "^password=" "$1"; }

sitesim_start "$build" "$work/$session.sim" --performers 10 --churn 0 --account viewer:secret --favorites Anna
sitesim_config "$config" "[SplashScreen]" "duration=0"

if [ "$session" = none ]; then
    start_program
    sign_in viewer secret
    wait_for 100 signed_in_with secret || fail "the sign-in did not reach the site"
    wait_for 100 grep -q "^password=secret$" "$config" || fail "without a Secret Service the file lacks the password"
    grep -q "passwords: kept in the configuration file, because" "$log" || fail "the trace does not say why"
    stop_program
    exit 0
fi

keyring_there() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.freedesktop.secrets 2>/dev/null | grep -c true > /dev/null
}

if [ "$session" = locked ]; then
    # A keyring that must first be unlocked (here: made) asks the user in a window of its own.
    gnome-keyring-daemon --foreground --components=secrets > "$work/keyring.log" 2>&1 &
    keyring=$!
    pids+=("$keyring")
    wait_for 100 keyring_there || fail "GNOME Keyring did not start"
    start_program
    sign_in viewer secret
    prompt_there() { xdotool search --onlyvisible --class gcr-prompter > /dev/null 2>&1; }
    wait_for 200 prompt_there || fail "the keyring did not ask"
    # Meanwhile the sign-in goes out, and the main thread answers what comes to it (the keyring's
    # window holds the keyboard, but the tray item's questions come over the bus).
    wait_for 100 signed_in_with secret || fail "the sign-in waited for the keyring"
    item=$(item_name "$log") || fail "the program put no item on the session bus"
    timeout 5 bash -c "$(declare -f item_property); item_property $item ToolTip" > /dev/null \
        || fail "the main thread did not answer while the keyring asked"
    prompt_there || fail "the keyring's question went away by itself"
    # The user cancels: the password stays in the file, and the trace says why.
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --class gcr-prompter | sed -n 1p)" key Escape
    wait_for 100 grep -q "^password=secret$" "$config" || fail "the refused password is not in the file"
    grep -q "passwords: kept in the configuration file, because" "$log" || fail "the trace does not say why"
    stop_program
    # Leaving while the keyring asks, and the keyring has gone meanwhile (its session ending, say,
    # which answers nothing any more): the program ends at once, the password in the file.
    sitesim_config "$config" "[SplashScreen]" "duration=0"
    start_program
    sign_in viewer secret
    wait_for 200 prompt_there || fail "the keyring did not ask"
    prompter=$(pgrep -f gcr-prompter | sed -n 1p)
    kill -STOP "$keyring" "$prompter"
    kill -TERM "$parlo"
    wait_for 100 ended "$parlo" || fail "the program waits for the keyring as it ends"
    kill -CONT "$keyring" "$prompter"
    kill "$prompter"
    stop_program
    grep -q "^password=secret$" "$config" || fail "the password the keyring did not take is lost"
    exit 0
fi

# A keyring the login unlocked, as a desktop session has it.
printf 'keyring password' | gnome-keyring-daemon --foreground --unlock --components=secrets > "$work/keyring.log" 2>&1 &
pids+=("$!")
wait_for 100 keyring_there || fail "GNOME Keyring did not start"

# Signed in through the dialog: the password is in the keyring, not in the file.
start_program
sign_in viewer secret
wait_for 100 signed_in_with secret || fail "the sign-in did not reach the site"
wait_for 100 in_keyring secret || fail "the keyring does not have the password: \"$(stored)\""
no_password_in "$config" || fail "the file has the password"
stop_program
no_password_in "$config" || fail "the file has the password after the end"
found=$(secret-tool search --all host "$host" user viewer 2>&1)
grep -q "label = Parlo Tovrik: viewer at $host" <<< "$found" || fail "the keyring's item is not labelled for a person: $found"

# A file from before, with the password in it: at the start it moves into the keyring, and the
# rest of the file stays as it was.
secret-tool clear host "$host" user viewer
sitesim_config "$config" "[SplashScreen]" "duration=0"
printf 'id=viewer\npassword=secret\n' | cat - "$config" > "$work/old.conf"
grep -v "^password=" "$work/old.conf" > "$work/expected.conf"
cp "$work/old.conf" "$config"
start_program
wait_for 100 no_password_in "$config" || fail "the password did not leave the file"
in_keyring secret || fail "the password did not reach the keyring: \"$(stored)\""
diff "$work/expected.conf" "$config" >&2 || fail "more of the file changed than the password"
# The dialog comes with the password from the keyring; the sign-in sends it.
before=$(sign_ins secret)
sign_in "" ""
wait_for 100 signed_in_with secret "$before" || fail "the sign-in did not send the keyring's password"
stop_program
exit 0
