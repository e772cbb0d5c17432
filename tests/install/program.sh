#!/usr/bin/env bash
# The program as users get it: started through PATH from another folder and through a link, it
# finds its plug-in, skin and catalogue; its Debian package is clean, its desktop files are
# valid, and the program installed from it runs from the menu entry's command.
# Usage: program.sh BUILD_DIR (a build with the packaging files made), on a display.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
work=$(mktemp -d)
sim_pid=""
cleanup() {
    sitesim_stop
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "program.sh: $*" >&2
    exit 1
}

sitesim_start "$build" "$work/sitesim.log" --performers 20
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0"
options=(--no-update --config "$work/Parlo.conf" --lang ja)
# The toolkit's translation traces name the catalogue it reads.
export WXTRACE=lumora,i18n
# The watch history of the test's programs stays with the test.
export XDG_DATA_HOME=$work/share

# Each start must have used the build's own plug-in, skin and catalogue.
found_beside() {
    local log=$1 dir=$2
    grep -q "loaded $dir/Parlo.so" "$log" || fail "$log: the plug-in was not found in $dir"
    grep -q "skin $dir/Parlo.skin: [1-9]" "$log" || fail "$log: the skin was not read from $dir"
    grep -q "Using catalog \"$dir/ja/LC_MESSAGES/Parlo.mo\"" "$log" || fail "$log: the catalogue was not found in $dir"
}

(cd "$work" && PATH="$build:$PATH" run_until_first_list "$work/path.log" Parlo "${options[@]}") \
    || fail "started through PATH"
found_beside "$work/path.log" "$build"
ln -s "$build/Parlo" "$work/parlo-link"
(cd / && run_until_first_list "$work/link.log" "$work/parlo-link" "${options[@]}") || fail "started through a link"
found_beside "$work/link.log" "$build"

# The package, as scripts/package.sh makes it.
(cd "$build" && cpack -G DEB -B "$work/cpack" > "$work/cpack.log") || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$build"/parlo_*.deb)
lintian --no-tag-display-limit "$deb" > "$work/lintian.log" 2>&1 || true
if grep -q "^[EW]:" "$work/lintian.log"; then
    cat "$work/lintian.log" >&2
    fail "lintian finds fault with the package"
fi
# Without maintainer scripts, removing the package leaves nothing behind.
dpkg-deb --control "$deb" "$work/control"
if ls "$work/control" | grep -qE "^(pre|post)(inst|rm)$"; then
    fail "the package has maintainer scripts: $(ls "$work/control")"
fi
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/org.parlotovrik.Parlo.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.parlotovrik.Parlo.metainfo.xml" \
    > "$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "AppStream metadata"; }
for size in 16 22 24 32 48 64 128 256; do
    [ -s "$root/usr/share/icons/hicolor/${size}x$size/apps/parlo.png" ] || fail "no $size px icon"
done
[ -s "$root/usr/share/icons/hicolor/scalable/apps/parlo.svg" ] || fail "no scalable icon"
zcat "$root/usr/share/man/man1/parlo.1.gz" | grep -q -- "--no-update" || fail "the manual page lacks the options"

installed=$root/usr/lib/parlo
version=$("$root/usr/bin/parlo" --version)
[ "$version" = "parlo 1.3.0" ] || fail "--version says \"$version\""
# "Start at login" in the Tool menu, chosen with the keyboard: the entry starts the installed
# program, and choosing it again removes it.
export XDG_CONFIG_HOME=$work/config
autostart=$XDG_CONFIG_HOME/autostart/parlo.desktop
program_windows() { [ "$(xdotool search --onlyvisible --pid "$1" | wc -l)" -eq "$2" ]; }
choose_start_at_login() {
    local window pid
    window=$(timeout 30 xdotool search --sync --name '^Parlo Tovrik$' | head -n 1)
    [ -n "$window" ] || return 1
    pid=$(xdotool getwindowpid "$window")
    # An open menu is a window of its own.
    wait_for 100 program_windows "$pid" 1 && xdotool windowfocus --sync "$window" key alt+t \
        && wait_for 100 program_windows "$pid" 2 && xdotool key l
}
toggle_start_at_login() {
    choose_start_at_login && wait_for 300 test -f "$autostart" || { echo "no $autostart" >&2; return 1; }
    grep -qx "Exec=\"$installed/Parlo\"" "$autostart" || { cat "$autostart" >&2; return 1; }
    desktop-file-validate "$autostart" || return 1
    choose_start_at_login && wait_for 300 test ! -e "$autostart" || { echo "$autostart stays" >&2; return 1; }
}
# The menu entry's command, found through PATH as the desktop finds it.
command=$(sed -n 's/^Exec=//p' "$desktop")
[ "$command" = "parlo" ] || fail "the menu entry runs \"$command\""
(cd "$HOME" && PATH="$root/usr/bin:$PATH" while_running=toggle_start_at_login \
    run_until_first_list "$work/installed.log" "$command" "${options[@]}") || fail "the installed program"
found_beside "$work/installed.log" "$installed"

# Built without a publisher's key, the installed program trusts no key: it offers no update,
# however well the site signs one with the test key, asks the site nothing, and says why once.
sitesim_stop
sitesim_start "$build" "$work/sitesim.log" --performers 20 --update "$build/Parlo.so"
sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0"
(cd "$HOME" && PATH="$root/usr/bin:$PATH" run_until_first_list "$work/unkeyed.log" parlo --config "$work/Parlo.conf") \
    || fail "the installed program offered an update"
[ "$(grep -c "no self-update: this program was built without a publisher's key" "$work/unkeyed.log")" -eq 1 ] \
    || fail "the installed program does not say why it offers no update"
if grep -q "update.cgi" "$work/sitesim.log"; then
    fail "the installed program asked the site for an update"
fi
echo "program.sh: started through PATH, a link and the installed package; no self-update without a publisher's key"
