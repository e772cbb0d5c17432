#!/usr/bin/env bash
# The program as a blind user meets it: read from the accessibility bus as a screen reader reads it,
# and used from the keyboard alone, on a display, a session bus and a window manager (openbox) of
# its own. Both trees' rows are there by performer and status, the groups with their counts, the
# status line with its text; moving with the arrow keys is heard; the tree tells its selected row,
# which has its place on screen and its actions; the Menu key and Shift+F10 open a
# row's menu, Ctrl+F reaches the search field and Esc leaves it, Ctrl+PageDown, Ctrl+PageUp and
# Ctrl+Tab switch pages from inside the tree, and the sign-in works from the keyboard; after it each
# favourite's row reads what the watch history says of them, and a performer's history window
# opens from the row's menu and from Ctrl+H and reads as a whole. The program leaves without a
# complaint while a screen reader listens.
# Usage: reading.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${READING_SESSION:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # The watch history of the test's programs stays with the test.
    export XDG_DATA_HOME=$work/share
    # A session bus that starts nothing by itself: no keyring comes to ask for a password of its
    # own when the program signs in.
    READING_SESSION=$work xvfb-run -a -s '-screen 0 1280x800x24 -noreset' \
        dbus-run-session --config-file="$here/bare-bus.conf" -- "$0" "$@" \
        2> "$work/session.stderr" || { grep -v "dbus-daemon\|SpiRegistry" "$work/session.stderr" >&2; exit 1; }
    exit 0
fi
work=$READING_SESSION
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/parlo.log
pids=()
trap stop_started EXIT
fail() { session_fail "reading" "$*"; }
reader() { /usr/bin/python3 "$here/accessible.py" org.parlotovrik.Parlo "$@"; }
# Whether what the reader finds in MODE has a line matching the extended expression.
finds() { reader "$1" | grep -c -E "$2" > /dev/null; }
key() { xdotool key --clearmodifiers "$@"; }

# The accessibility bus, as a desktop session starts it, and a window manager.
accessibility_start "$work"
openbox_start "$work"
favorites=Anna_23,LenaCat,Mia_Rose,LittleYuna
sitesim_start "$build" "$work/sitesim.log" --performers 30 --churn 0 --account demo:demo --favorites "$favorites"
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2"
program_start "$work/Parlo.conf" "$log"
frame=$(timeout 30 xdotool search --sync --name '^Parlo Tovrik$' | head -n 1)
[ -n "$frame" ] || fail "no frame"
xdotool windowactivate --sync "$frame" 2>/dev/null || true
wait_for 100 finds focus "^focus	tree	All$" || fail "the tree does not have the focus: $(reader focus)"

# Every performer of the list by name and status, and the group by what it shows.
rows=$(reader trees)
performers=$(grep -c -E "^row	All	[^	]+, (free|busy)	" <<< "$rows" || true)
[ "$performers" -ge 20 ] || fail "the All tree reads $performers performers: $rows"
grep -q -E "^row	All	Online \($performers\)	([a-z]+,)*expanded" <<< "$rows" || fail "no group reads \"Online ($performers)\": $rows"
finds status "^status	[0-9]+ online · updated [0-9:]+$" || fail "the status line reads \"$(reader status)\""

# Moving down is heard: the row the keys reach, by name.
# It listens until the program has ended, which must then leave without a complaint.
/usr/bin/python3 "$here/accessible.py" org.parlotovrik.Parlo listen 600 > "$work/heard.txt" &
listener=$!
pids+=("$listener")
wait_for 100 grep -q "^listening" "$work/heard.txt" || fail "cannot listen to the accessibility bus"
key Down
key Down
heard_row() { grep -c -E "^event	object:(active-descendant-changed|state-changed:focused)	[^	]+, (free|busy)$" "$work/heard.txt" > /dev/null; }
wait_for 100 heard_row || fail "moving down in the tree says nothing: $(cat "$work/heard.txt")"

# The row is a full citizen: the tree tells it as its selection, the row has a place on screen
# inside the window, which a point in it finds, and actions, of which "menu" opens its menu.
selected=$(reader selected)
row=$(sed -n -E 's/^selection	All	1	([^	]+, (free|busy))$/\1/p' <<< "$selected")
[ -n "$row" ] || fail "the All tree tells no selected performer: $selected"
inside=$(awk -F '\t' -v row="$row" '$1 == "frame" { split($2, f, " ") } $1 == "place" && $2 == row { split($3, p, " ") }
    END { print (p[3] > 0 && p[4] > 0 && p[1] >= f[1] && p[2] >= f[2] && p[1] + p[3] <= f[1] + f[3] + 1 && p[2] + p[4] <= f[2] + f[4]) }' <<< "$selected")
[ "$inside" = 1 ] || fail "the row $row has no place inside the window: $selected"
grep -q -F -x "at point	$row" <<< "$selected" || fail "a point in the row $row finds another: $selected"
grep -q -F -x "actions	$row	activate,menu" <<< "$selected" || fail "the row $row has not its actions: $selected"
reader act "$row" menu || fail "the row's menu action fails"
wait_for 100 finds menus "^menu item	Profile$" || fail "the row's menu action opens no menu with \"Profile\""
key Escape
wait_for 100 eval '! finds menus "^menu item	Profile$"' || fail "Escape leaves the menu open"

# A row's menu from the keyboard, at the selected row.
for keys in Menu shift+F10; do
    key "$keys"
    wait_for 100 finds menus "^menu item	Profile$" || fail "$keys opens no menu with \"Profile\""
    key Escape
    wait_for 100 eval '! finds menus "^menu item	Profile$"' || fail "Escape leaves the menu open"
done

# The search field and back.
key ctrl+f
wait_for 100 finds focus "^focus	text	Search$" || fail "Ctrl+F does not reach the search field: $(reader focus)"
key Escape
wait_for 100 finds focus "^focus	tree	All$" || fail "Esc does not go back to the tree: $(reader focus)"

# The pages, from inside the tree.
for step in "ctrl+Next Favorite" "ctrl+Prior All" "ctrl+Tab Favorite" "ctrl+shift+Tab All"; do
    read -r keys page <<< "$step"
    key "$keys"
    wait_for 100 finds pages "^page	$page	selected$" || fail "$keys does not show the page $page: $(reader pages)"
done

# Signing in from the keyboard alone: the Tool menu by its mnemonic, the dialog's fields in turn.
sign_in_by_keys
favorites_read() {
    rows=$(reader trees)
    grep -q -E "^row	Favorite	Online \([0-9]+\)	" <<< "$rows" && grep -q -E "^row	Favorite	Offline \([0-9]+\)	" <<< "$rows"
}
wait_for 300 favorites_read || fail "the Favorite tree has no groups after signing in: $rows"
for name in ${favorites//,/ }; do
    grep -q -E "^row	Favorite	$name, (free|busy|offline)	" <<< "$rows" || fail "the Favorite tree does not read $name: $rows"
done

# After each favourite's name, what the watch history says: how long one online has been, and
# that one offline was not seen yet.
noted() {
    notes=$(reader notes)
    grep -q -E "^note	Favorite	[^	]+, (free|busy)	online [0-9]+ min$" <<< "$notes" \
        && grep -q -E "^note	Favorite	[^	]+, offline	not seen yet$" <<< "$notes"
}
wait_for 300 noted || fail "the Favorite tree's rows do not read the history: $notes"
[ "$(grep -c "^note	Favorite	" <<< "$notes")" -eq 4 ] || fail "not every favourite reads the history: $notes"

# A performer's history window from the row's menu, by keys alone, read as a screen reader reads
# it; Esc closes it, and Ctrl+H opens it again from the row.
key ctrl+Prior
wait_for 100 finds focus "^focus	tree	All$" || fail "Ctrl+PageUp does not go back to the All tree: $(reader focus)"
selected_performer() {
    performer=$(reader trees | sed -n -E 's/^row	All	([^	]+), (free|busy)	.*selected.*/\1/p' | head -n 1)
    [ -n "$performer" ]
}
selected_performer || key Down
wait_for 100 selected_performer || fail "no performer is selected in the All tree: $(reader trees)"
key Menu
wait_for 100 finds menus "^menu item	History…$" || fail "the row's menu has no \"History…\": $(reader menus)"
key h
history_window() { xdotool search --name "^History of $performer\$" > /dev/null 2>&1; }
wait_for 100 history_window || fail "History… opens no window for $performer"
window_read() {
    said=$(reader window "History of $performer")
    grep -q -E "^label	online since [0-9:]+ \([0-9]+ min\), (free|busy)$" <<< "$said" \
        && grep -q "^label	not enough watched time yet$" <<< "$said" \
        && grep -q -E "^label	a typical session lasts [0-9]+ min; 1 session in the last 8 weeks$" <<< "$said" \
        && grep -q "^image	The week's pattern	not enough watched time yet" <<< "$said" \
        && grep -q "^header	Length$" <<< "$said" && grep -q "^cell	now$" <<< "$said"
}
wait_for 100 window_read || fail "the history window of $performer reads: $said"
key Escape
wait_for 100 eval '! history_window' || fail "Esc does not close the history window"
wait_for 100 finds focus "^focus	tree	All$" || fail "the focus is not back in the tree: $(reader focus)"
key ctrl+h
wait_for 100 history_window || fail "Ctrl+H opens no history window for $performer"

program_stop "$log"
kill "$listener" 2>/dev/null || true
echo "reading.sh: rows, their selection, places and actions, groups and the status line read; moving heard; menus, search and pages from the keyboard; signed in by keys; the favourites' history read; a history window opened by keys and read"
