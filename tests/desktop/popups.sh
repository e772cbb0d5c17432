#!/usr/bin/env bash
# Pop-ups as they come and go on the desktops people have: XFCE's window manager with its panel
# along the bottom, openbox, and no window manager at all, and XFCE again at scale 2. Sixty
# performers change at every poll of 2 s and each pop-up stays 8 s, so that pop-ups close while
# others stay. Every pop-up is whole, with its name and its bars across its width, inside the work
# area in the corner's stack, in a place of its own; at scale 2 its pictures are the skin's larger
# ones, not the small ones enlarged; and a screen reader is told who came and what happened.
# Usage: popups.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../common/program.sh"
source "$here/session.sh"

if [ -z "${POPUPS_SESSION:-}" ]; then
    source "$here/../../scripts/sitesim.sh"
    work=$(mktemp -d)
    sim_pid=""
    trap 'sitesim_stop; rm -rf "$work"' EXIT
    # XFCE's panel along the bottom; its settings service reads them from the session's folder.
    export XDG_CONFIG_HOME=$work/config
    # The watch history of the test's programs stays with the test.
    export XDG_DATA_HOME=$work/share
    mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    cp "$here/xfce4-panel.xml" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/"
    sitesim_start "$build" "$work/sitesim.log" --performers 60 --churn 0.3
    sitesim_config "$work/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2" \
        "[PopupDialog]" "duration=8"
    for desktop in ${POPUPS_DESKTOPS:-xfce openbox none xfce-scale2}; do
        # Room for more pop-ups than are ever open at once: only then has each a place of its own.
        screen=1920x1080x24
        [ "$desktop" = xfce-scale2 ] && screen=3840x2160x24
        # -noreset in every test's display: a server that resets as its last client leaves (a
        # check with xprop) refuses whoever connects meanwhile, the window manager as it starts.
        POPUPS_SESSION=$work xvfb-run -a -s "-screen 0 $screen -noreset" dbus-run-session -- "$0" "$build" "$desktop" \
            2> "$work/$desktop.stderr" || { grep -v "dbus-daemon\|SpiRegistry\|xfconfd" "$work/$desktop.stderr" >&2; exit 1; }
    done
    echo "popups.sh: whole, named, in the corner's stack and each in a place of its own under xfwm4 with its panel, openbox and no window manager; sharp at scale 2; announced to screen readers"
    exit 0
fi

# Inside a session of its own: $2 names the desktop.
work=$POPUPS_SESSION
desktop=$2
log=$work/$desktop.log
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
fail() {
    echo "popups.sh ($desktop): $*" >&2
    [ -f "$log" ] && tail -n 20 "$log" >&2
    # What the desktop's own parts said.
    for part in "$work/$desktop"-*.log; do
        [ -f "$part" ] && { echo "== ${part##*/}"; tail -n 20 "$part"; } >&2
    done
    import -window root "$build/desktop-popups-$desktop-failed.png" 2>/dev/null || true
    exit 1
}
scale=1
case $desktop in
    xfce | xfce-scale2)
        xfwm4 --compositor=off > "$work/$desktop-wm.log" 2>&1 &
        pids+=("$!")
        xfce4-panel --disable-wm-check > "$work/$desktop-panel.log" 2>&1 &
        pids+=("$!")
        # The panel's room is kept from the work area once the window manager knows of it.
        panel_room() { read -r _ _ _ height < <(workarea "$DISPLAY") && [ "$height" -lt "$(DISPLAY=$DISPLAY xwininfo -root | awk '/Height:/ { print $2 }')" ]; }
        wait_for 300 panel_room || fail "no panel along the bottom"
        [ "$desktop" = xfce-scale2 ] && scale=2
        ;;
    openbox)
        openbox --sm-disable > "$work/$desktop-wm.log" 2>&1 &
        pids+=("$!")
        wm_there() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -c "window id" > /dev/null; }
        wait_for 300 wm_there || fail "openbox did not start"
        ;;
esac
size=$((150 * scale))

GDK_SCALE=$scale WXTRACE=lumora "$build/Parlo" --no-update --config "$work/Parlo.conf" > "$log" 2>&1 &
parlo=$!
pids+=("$parlo")
wait_for 600 grep -q "first list of" "$log" || fail "the program did not show the list"
some_popups() { [ "$(popup_windows "$DISPLAY" | wc -l)" -ge 2 ]; }
wait_for 300 some_popups || fail "no pop-ups came"

# Half a minute of pop-ups coming and going.
watched=$(watch_popups "$DISPLAY" "$size" 30 2>&1) || fail "$watched"

# The whole screen, and the pop-ups that were on it throughout: those there before and after.
look() {
    local before after
    before=$(popup_windows "$DISPLAY") || return 1
    timeout 60 import -window root "$work/screen.png" || return 1
    after=$(popup_windows "$DISPLAY") || return 1
    comm -12 <(sort <<< "$before") <(sort <<< "$after") | sed -n 's/^[^ ]* [0-9]*x[0-9]*+\([0-9]*\)+\([0-9]*\)$/\1 \2/p'
}
# The part of the screen at X,Y of WIDTH x HEIGHT into FILE.
cut() { convert "$work/screen.png" -crop "$3x$4+$1+$2" +repage "$5"; }

# Each with its name under its picture: light text on the name's blue strip near the bottom.
seen=$(look) || fail "the screen could not be read"
named=0
while read -r x y; do
    [ -n "$x" ] || continue
    cut "$x" $((y + 120 * scale)) "$size" $((26 * scale)) "$work/name.png"
    light=$(convert "$work/name.png" -colorspace gray -threshold 85% -format "%[fx:round(mean*w*h)]" info:)
    [ "$light" -ge $((15 * scale * scale)) ] || fail "the pop-up at $x,$y shows no name"
    named=$((named + 1))
done <<< "$seen"
[ "$named" -ge 2 ] || fail "too few pop-ups to look at"

# The skin's title and style bars span the whole width: no plain grey background beside them.
while read -r x y; do
    [ -n "$x" ] || continue
    cut $((x + size - 6 * scale)) "$y" $((6 * scale)) $((30 * scale)) "$work/edge.png"
    grey=$(convert "$work/edge.png" -colorspace HSL -channel G -separate +channel -threshold 10% -negate \
        -format "%[fx:round(mean*w*h)]" info:)
    [ "$grey" -eq 0 ] || fail "the pop-up at $x,$y has $grey grey pixels beside its bars"
done <<< "$seen"

if [ "$scale" -eq 2 ]; then
    # The title bar on screen is the skin's larger picture, pixel for pixel, not the small one
    # enlarged.
    skin=$build/assets/skin
    convert "$skin/PopupDialog_titleBar.png" -sample 200% "$work/enlarged.png"
    read -r x y <<< "$seen"
    cut "$x" "$y" "$size" $((30 * scale)) "$work/top.png"
    # How many pixels of the picture FILE differ where it fits best; all of them when it fits nowhere.
    off() {
        local said
        said=$(compare -metric AE -fuzz 2% -subimage-search "$work/top.png" "$1" null: 2>&1 || true)
        [[ ${said%% *} =~ ^[0-9]+$ ]] && echo "${said%% *}" || identify -format "%[fx:w*h]" "$1"
    }
    sharp=$(off "$skin/PopupDialog_titleBar@2x.png")
    blocky=$(off "$work/enlarged.png")
    [ "$sharp" -eq 0 ] && [ "$blocky" -gt 0 ] \
        || fail "the title bar is not the larger picture: $sharp pixels off it, $blocky off the small one enlarged"
fi

if [ "$desktop" = xfce ]; then
    # A screen reader announces each pop-up by who and what: "NAME is online", "NAME is free now".
    heard=$(/usr/bin/python3 "$here/accessible.py" org.parlotovrik.Parlo popups) || fail "the accessibility bus could not be read"
    [ -n "$heard" ] || fail "no pop-up is a notification a screen reader announces"
    while IFS=$'\t' read -r role name; do
        performer=${name% is online}
        performer=${performer% is free now}
        [ "$performer" != "$name" ] || fail "a pop-up's $role says \"$name\""
        grep -q "announcing $performer\$" "$log" || fail "a pop-up's $role names $performer, who was not announced"
    done <<< "$heard"
fi

program_stop "$log"
echo "popups.sh ($desktop): $watched"
