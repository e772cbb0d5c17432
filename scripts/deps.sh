#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need, when missing.
# Safe to run again: it installs nothing that is already there.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    libwxgtk3.2-dev libgtk-3-dev libdbusmenu-glib-dev libsecret-1-dev libnotify-dev libsodium-dev
    libgtest-dev
    libcurl4-openssl-dev
    libsqlitecpp-dev libsqlite3-dev sqlite3
    libcpp-httplib-dev libjpeg-dev libssl-dev zlib1g-dev openssl
    gettext
    xvfb xauth x11-utils trayer xdotool tinyproxy
    dbus-daemon libglib2.0-bin procps xfce4-panel xfwm4 openbox sway waybar xwayland grim mutter
    at-spi2-core python3-pyatspi orca speech-dispatcher speech-dispatcher-espeak-ng espeak-ng libao4
    gnome-keyring libsecret-tools dunst dbus-bin
    gnome-shell gnome-shell-extension-appindicator gjs iproute2 util-linux
    imagemagick librsvg2-bin fonts-ipafont-gothic
    help2man dpkg-dev file lintian desktop-file-utils appstream
    clang libclang-rt-14-dev
    curl
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

echo "deps.sh: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
