#!/usr/bin/env bash
# The performer's page in the user's own browser: the real program on a bare X server with a
# session bus, a real double click on a performer in its "All" tree, and stand-ins that note what
# they are asked to open, registered as programs are (a desktop entry among the user's
# applications, the desktop's cache of what each entry handles, the user's defaults in
# mimeapps.list). The browser opens the page from a folder whose name has capitals, with the
# address as its one argument; the handler of web addresses opens it, not the one of html files.
# Usage: browser.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${BROWSER_SESSION:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/home" "$work/share/applications" "$work/config"
    BROWSER_SESSION=$work HOME=$work/home XDG_DATA_HOME=$work/share XDG_CONFIG_HOME=$work/config \
        xvfb-run -a -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- "$0" "$@"
    exit
fi
work=$BROWSER_SESSION
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
log=$work/parlo.log
pids=()
trap stop_started EXIT
fail() { session_fail "browser" "$*"; }
applications=$work/share/applications

# A stand-in at PATH that notes each start in RECORD: how many arguments, then the first.
# Usage: stand_in PATH RECORD
stand_in() {
    mkdir -p "$(dirname "$1")"
    printf '#!/bin/sh\nprintf "%%s %%s\\n" "$#" "$1" >> "%s"\n' "$2" > "$1"
    chmod +x "$1"
}
# Registers the program PATH as the application ID for the MIME types TYPES ("a;b;"), as its
# package or its own "make default" would.
# Usage: register ID PATH TYPES
register() {
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s %%u\nMimeType=%s\n' "$1" "$2" "$3" \
        > "$applications/$1.desktop"
    update-desktop-database "$applications"
}
# The user's default applications, one "TYPE=ID.desktop" each.
defaults() { printf '%s\n' "[Default Applications]" "$@" > "$work/config/mimeapps.list"; }
records() { if [ -f "$1" ]; then wc -l < "$1"; else echo 0; fi; }

# Runs the program on a stable list of performers, double-clicks in the middle of its tree, which
# they fill, and waits for the browser to note a page; sets opened to what it noted. The rows come
# a little after the window: a double click that found none yet is made again, a few seconds on.
double_click_a_performer() {
    sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=1" \
        "[MainFrame]" "x=0" "y=0" "width=300" "height=600"
    program_start "$work/Parlo.conf" "$log"
    frame_window() { xdotool search --onlyvisible --pid "$parlo" --name '^Parlo Tovrik$' 2>/dev/null | sed -n 1p || true; }
    frame_there() { [ -n "$(frame_window)" ]; }
    wait_for 300 frame_there || fail "no main window"
    local frame
    frame=$(frame_window)
    local before tries
    before=$(records "$browser_record")
    page_noted() { [ "$(records "$browser_record")" -gt "$before" ]; }
    for tries in $(seq 12); do
        xdotool mousemove --window "$frame" 150 300 click --repeat 2 --delay 80 1
        wait_for 50 page_noted && break
    done
    page_noted || fail "$tries double clicks opened nothing in the browser$(
        [ -f "$editor_record" ] && echo "; the html editor got: $(cat "$editor_record")")"
    stop_program
    opened=$(tail -n 1 "$browser_record")
}
stop_program() { program_stop "$log"; }
# Whether LINE is the browser started once with the preview page of one of the site's performers.
a_preview_page() {
    local line=$1 name page="^1 http://${host//./\\.}/preview\\.shtml\\?([A-Za-z0-9_]+)$"
    [[ $line =~ $page ]] || return 1
    name=${BASH_REMATCH[1]}
    curl -s "http://$host/include/js/online_performers.js" | grep -c "$name" > /dev/null
}

# A stable list: the same performers at every poll, which fill the tree.
sitesim_start "$build" "$work/sitesim.log" --performers 200 --churn 0

# A browser unpacked under a folder whose name has capitals, its entry written by itself for
# html files and web addresses, and the user's default for web addresses.
browser=$work/home/Applications/WebBrowser/Browser.run
browser_record=$work/browser.txt
editor_record=$work/editor.txt
stand_in "$browser" "$browser_record"
register WebBrowser "$browser" "text/html;x-scheme-handler/http;x-scheme-handler/https;"
defaults "x-scheme-handler/http=WebBrowser.desktop" "x-scheme-handler/https=WebBrowser.desktop"
double_click_a_performer
a_preview_page "$opened" || fail "the browser was started as \"$opened\", not with a preview page"

# Html files open in an editor, the user's choice for them: the page still opens in the browser,
# and never in the editor.
editor=$work/home/bin/html-editor
stand_in "$editor" "$editor_record"
register HtmlEditor "$editor" "text/html;"
defaults "text/html=HtmlEditor.desktop" "x-scheme-handler/http=WebBrowser.desktop" \
    "x-scheme-handler/https=WebBrowser.desktop"
double_click_a_performer
a_preview_page "$opened" || fail "the browser was started as \"$opened\", not with a preview page"
[ "$(records "$editor_record")" -eq 0 ] || fail "the html editor was started: $(cat "$editor_record")"
echo "browser.sh: a double click opens the preview page in the handler of web addresses, from a folder with capitals"
