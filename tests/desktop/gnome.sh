#!/usr/bin/env bash
# GNOME Shell as most people meet it: a Wayland session with XWayland and the AppIndicator
# extension, headless, the program started by the shell as a session's program. Its tray item is
# in the top bar and stays there; with the desktop's notifications on, "Do Not Disturb" puts them
# in the list without a banner, and once signed in from the keyboard a favourite coming online
# shows one; with them off, the pop-up windows stand whole below the top bar, each in a place of
# its own; SIGTERM ends the program.
#
# The shell runs as an ordinary user (as root it keeps a banner up of its own), with a system bus
# of our own that offers nothing and no systemd to be found, in namespaces of its own: every
# process of the run stays together and its X display is its own. A probe extension lets the test
# ask the shell what it shows.
# Usage: gnome.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
stage=${GNOME_STAGE:-}

if [ -z "$stage" ]; then
    build=$(cd "$1" && pwd)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # Whatever the session's user needs, where that user may read it or write.
    extensions=$work/home/.local/share/gnome-shell/extensions
    mkdir -p "$work/program" "$extensions" "$work/run" "$work/tests/desktop" "$work/tests/common" "$work/scripts"
    cp -r "$build/Parlo" "$build/Parlo.so" "$build/Parlo.skin" "$build/ja" "$build/sitesim" "$work/program/"
    cp -r "$here/gnome-probe" "$extensions/parlo-probe@parlotovrik.org"
    # No keyring in this session (the keyring test has one): a new one would ask for its own
    # password first. The user's own services come before the system's.
    mkdir -p "$work/home/.local/share/dbus-1/services"
    printf '[D-BUS Service]\nName=%s\nExec=/bin/false\n' org.freedesktop.secrets \
        > "$work/home/.local/share/dbus-1/services/org.freedesktop.secrets.service"
    cp "$0" "$here/session.sh" "$here/bare-bus.conf" "$work/tests/desktop/"
    cp "$here/../common/program.sh" "$work/tests/common/"
    cp "$here/../../scripts/sitesim.sh" "$work/scripts/"
    chmod -R a+rX "$work"
    chmod 700 "$work/run"
    as_user=""
    if [ "$(id -u)" -eq 0 ]; then
        chown -R nobody:nogroup "$work/home" "$work/run"
        as_user=nobody
        namespaces=(unshare --pid --fork --mount --mount-proc --net)
    else
        namespaces=(unshare --user --map-root-user --pid --fork --mount --mount-proc --net)
    fi
    status=0
    GNOME_STAGE=namespaces AS_USER=$as_user "${namespaces[@]}" "$work/tests/desktop/gnome.sh" "$work" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "gnome.sh: the shell's last words:" >&2
        grep -v "^$" "$work/home/shell.log" | tail -n 15 >&2 || true
        cp "$work/home/shot.png" "$build/desktop-gnome-failed.png" 2>/dev/null || true
    else
        cp "$work/home/shot.png" "$build/desktop-gnome.png" 2>/dev/null || true
    fi
    exit "$status"
fi

if [ "$stage" = namespaces ]; then
    work=$1
    # The site is on this namespace's own loopback.
    ip link set lo up
    # GNOME asks logind for the session when it finds systemd; here it is to find none.
    if [ -d /run/systemd ]; then
        mount -t tmpfs tmpfs /run/systemd
    fi
    # XWayland's display is the session's own, whatever displays the machine has.
    mkdir -p /tmp/.X11-unix
    mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
    as_user=()
    [ -z "${AS_USER:-}" ] || as_user=(setpriv --reuid="$AS_USER" --regid=nogroup --clear-groups)
    # Not exec'ed: this shell, the namespace's first process, takes in the orphans of the run.
    "${as_user[@]}" env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
        XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" GNOME_STAGE=session \
        dbus-run-session -- "$work/tests/desktop/gnome.sh" "$work"
    exit
fi

work=$1
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
source "$here/session.sh"
build=$work/program
log=$HOME/parlo.log
pids=()
sim_pid=""
trap stop_started EXIT
# What the shell's Eval gives for the JavaScript expression $1, as JSON.
shell_eval() {
    local said
    said=$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2>/dev/null) || return 1
    [[ $said == "(true, '"* ]] || return 1
    said=${said#(true, \'}
    echo "${said%\')}"
}
shell_is() { [ "$(shell_eval "$1")" = "$2" ]; }
screenshot() {
    shell_eval "new imports.gi.Shell.Screenshot().screenshot(false,
        imports.gi.Gio.File.new_for_path('$HOME/shot.png').replace(null, false, 0, null), () => {}); true" \
        > /dev/null || true
}
fail() {
    echo "gnome.sh: $*" >&2
    [ -f "$log" ] && tail -n 20 "$log" >&2
    echo "gnome.sh: banners $(shell_eval "JSON.stringify(global.parloBanners)"), listed $(shell_eval "JSON.stringify(global.parloListed)")" >&2
    echo "gnome.sh: overview $(shell_eval "Main.overview.visible")" >&2
    echo "gnome.sh: tray $(shell_eval "JSON.stringify([Main.messageTray._notificationState, Main.messageTray._bannerBlocked, Main.messageTray.queueCount, Main.messageTray.idleMonitor.get_idletime(), Main.messageTray._userActiveWhileNotificationShown, Main.messageTray._notification && Main.messageTray._notification.title])")" >&2
    screenshot
    sleep 1
    exit 1
}

# A system bus that answers for nothing.
dbus-daemon --config-file="$here/bare-bus.conf" --address="unix:path=$XDG_RUNTIME_DIR/system_bus" --fork \
    --print-pid > "$HOME/system-bus.pid"
pids+=("$(cat "$HOME/system-bus.pid")")
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/system_bus
gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'parlo-probe@parlotovrik.org']"

# Performers who come online again and again in the site's first minutes.
favourites=Vika1994,SweetRuby,Lovely_Mila,BellaFox,Angel_Bella,KseniaRose,LovelyGina,Ines_Cat,DashaSky,RoseMoon
sitesim_start "$build" "$HOME/sitesim.log" --performers 30 --churn 0.2 --account demo:demo --favorites "$favourites"
# Pop-ups close while others stay, and new ones take the places left. The account is written down,
# as where no keyring is to be had.
configure() {
    sitesim_config "$HOME/Parlo.conf" "[SplashScreen]" "duration=0" "[System]" "syncinterval=2" \
        "[PopupDialog]" "duration=8" "$@"
    local lines
    lines=$(cat "$HOME/Parlo.conf")
    printf 'id=demo\npassword=demo\n%s\n' "$lines" > "$HOME/Parlo.conf"
}

LIBGL_ALWAYS_SOFTWARE=1 gnome-shell --headless --wayland --virtual-monitor 1280x800 > "$HOME/shell.log" 2>&1 &
pids+=("$!")
shell_there() { shell_is "true" "true"; }
wait_for 600 shell_there || fail "the shell did not start with its extensions"
# Debian's GNOME starts in the overview, which hides pop-ups; it may still be on its way in.
overview_left() { shell_eval "Main.overview.hide(); Main.overview.visible" | grep -c false > /dev/null; }
wait_for 300 overview_left || fail "the shell stays in its overview"

# Started by the shell, as a session starts its programs.
start_program() {
    configure "$@"
    : > "$log"
    shell_eval "imports.misc.util.spawn(['sh', '-c',
        'exec env WXTRACE=lumora $build/Parlo --no-update --config $HOME/Parlo.conf > $log 2>&1']); true" > /dev/null \
        || fail "the shell did not start the program"
    wait_for 600 grep -q "first list of" "$log" || fail "the program did not show the list"
    # GNOME may go back into the overview when the first window comes.
    wait_for 300 overview_left || fail "the shell stays in its overview"
    parlo=$(pgrep -u "$(id -u)" -f "$build/Parlo --no-update" | sed -n 1p)
    item=$(item_name "$log") || fail "the program put no tray item on the bus"
    wait_for 100 item_registered "$item" || fail "the shell's watcher did not take the item $item"
    wait_for 100 icon_shown || fail "the item's icon is not in the top bar"
}
icon_shown() {
    shell_is "Object.keys(Main.panel.statusArea).some(k => k.includes('$item') && Main.panel.statusArea[k] && Main.panel.statusArea[k].mapped)" true
}
stop_program() {
    kill -TERM "$parlo"
    wait_for 100 ended "$parlo" || fail "the program still runs 10 s after SIGTERM"
    no_complaints "$log" || fail "the program's log has the lines above"
}

# The program's X display, on XWayland.
program_display() {
    DISPLAY=$(tr '\0' '\n' < "/proc/$parlo/environ" | sed -n 's/^DISPLAY=//p')
    XAUTHORITY=$(tr '\0' '\n' < "/proc/$parlo/environ" | sed -n 's/^XAUTHORITY=//p')
    [ -n "$DISPLAY" ] || fail "the shell gave the program no X display"
    export DISPLAY XAUTHORITY
}

# A user at the desktop: the pointer moves now and then. (GNOME keeps a banner up for as long as
# the user is away, and shows no other meanwhile.)
user_here() { shell_eval "global.parloPointer.moveTo(600 + Math.random() * 100, 500); true" > /dev/null; }
keys() { shell_eval "global.parloKeys.chord(['$(sed "s/ /', '/g" <<< "$*")']); true" > /dev/null; }

# Notifications on, as people write it, for favourites only once signed in.
start_program "desktopNotifications=true" "onlyFavorite=yes"
program_display

# "Do Not Disturb": the notifications go on into the list, none as a banner.
gsettings set org.gnome.desktop.notifications show-banners false
listed=$(shell_eval "global.parloListed.length")
more_listed() { user_here; [ "$(shell_eval "global.parloListed.length")" -ge $((listed + 3)) ]; }
wait_for 300 more_listed || fail "no notifications came while the desktop was not to be disturbed"
# Those that came before may still be on their way to a banner; none that came since.
shell_is "global.parloBannerPlaces.every(place => place < $listed)" true \
    || fail "banners came while the desktop was not to be disturbed: $(shell_eval "JSON.stringify(global.parloBanners)")"
gsettings set org.gnome.desktop.notifications show-banners true

# Signed in from the keyboard: Tool, UpdateFavorite, and the dialog as the configuration fills it.
# The window is brought to the front first, as a user does before typing into it.
frame_focused() {
    shell_eval "(() => {
        const frame = global.get_window_actors().map(a => a.meta_window).find(w => w.get_title() === 'Parlo Tovrik');
        if (frame && !frame.has_focus())
            frame.activate(global.get_current_time());
        return !!frame && frame.has_focus();
    })()" | grep -c true > /dev/null
}
wait_for 100 frame_focused || fail "the window does not take the focus"
keys Alt_L t
keys u
dialog_there() { window_search --onlyvisible --name '^Authentication$' > /dev/null; }
wait_for 300 dialog_there || fail "Alt+T, U did not open the sign-in dialog"
keys Return
signed_in() { grep -q "MainFrame: signed in" "$log"; }
wait_for 300 signed_in || fail "the dialog did not sign in"
wait_for 100 eval '! dialog_there' || fail "the sign-in dialog stays"
# What the program announced once it knew the favourites.
since=$(grep -n "MainFrame: signed in" "$log" | cut -d: -f1)

# A favourite coming online: a banner. Only favourites are announced now.
announced() { tail -n +"$since" "$log" | sed -n 's/.*PopupDialogManager: announcing //p' | sort -u; }
# (Eval's answer is JSON inside a quoted string.)
bannered() { shell_eval "global.parloBanners.join(' ')" | tr ' ' '\n' | sort -u; }
a_banner() { user_here; [ -n "$(comm -12 <(announced) <(bannered))" ]; }
wait_for 600 a_banner || fail "no banner for the favourites announced: $(announced | tr '\n' ' ')"
while read -r name; do
    [[ ,$favourites, == *,$name,* ]] || fail "$name, no favourite, was announced after the sign-in"
done < <(announced)
item_registered "$item" || fail "the shell's watcher no longer lists the item"
stop_program

# Notifications off: pop-up windows, on XWayland, whole below the top bar and apart.
start_program "desktopNotifications=off"
program_display
enough_popups() { [ "$(popup_geometries "$DISPLAY" | wc -l)" -ge 3 ]; }
wait_for 300 enough_popups || fail "no pop-ups came"
screenshot
top=$(shell_eval "Main.panel.height")
while read -r geometry; do
    y=${geometry##*+}
    [ "$y" -ge "$top" ] || fail "a pop-up at $geometry stands on the top bar, $top high"
done < <(popup_geometries "$DISPLAY")
watched=$(watch_popups "$DISPLAY" 150 20 2>&1) || fail "$watched"
# Long past the moment when the extension may have dropped it.
item_registered "$item" || fail "the shell's watcher no longer lists the item"
icon_shown || fail "the item's icon has left the top bar"
stop_program
echo "gnome.sh: the item in the top bar and kept there; none under Do Not Disturb, a banner for a favourite once signed in; pop-ups below the top bar, $watched"
