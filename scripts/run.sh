#!/usr/bin/env bash
# Builds the program and runs it against the bundled simulated site, with a throwaway
# configuration: a few hundred performers who come and go.
# Extra arguments go to build/Parlo (for example --lang ja).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display. On a machine without one, run it under a virtual display:" >&2
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' scripts/run.sh" >&2
    exit 2
fi

scripts/deps.sh
BUILD_TARGET="ParloHost sitesim" scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

work=$(mktemp -d)
sim_pid=""
# The simulated site's performers are no real ones: their watch history stays in the build folder,
# for sqlite3 build/demo-data/Lumora/history.sqlite, out of the user's own.
export XDG_DATA_HOME=$PWD/build/demo-data
source scripts/sitesim.sh
cleanup() {
    sitesim_stop
    rm -rf "$work"
}
trap cleanup EXIT

# The simulated site on a free port of 127.0.0.1.
sitesim_start build "$work/sitesim.log" --performers "${PERFORMERS:-300}" --churn "${CHURN:-0.05}" \
    --account demo:demo --favorites "${FAVORITES:-Anna_23,LenaCat,Mia_Rose,LittleYuna}" || exit 1

sitesim_config "$work/Parlo.conf"
echo "run.sh: simulated site at http://$host/ (sign in as demo / demo)"
build/Parlo --no-update --config "$work/Parlo.conf" "$@"
