#!/usr/bin/env bash
# Takes the README's screenshots under a virtual display: the main window running against the
# simulated site once its "All" page has filled (docs/main-window.png), then the favourites page
# and a pop-up from the end-to-end test (docs/favorites.png, docs/popup.png).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${INSIDE_XVFB:-}" ]; then
    scripts/deps.sh
    BUILD_TARGET="ParloHost sitesim gui_tests" scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec env INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

out=${1:-docs/main-window.png}
log=/tmp/parlo-screenshot.log
# The program's trace says when its first list has reached the windows.
WXTRACE=lumora scripts/run.sh > "$log" 2>&1 &
run_pid=$!

# Ends the program that our run.sh started (no other), and run.sh then stops its site.
stop_program() {
    local parlo_pid
    parlo_pid=$(ps -o pid=,comm= --ppid "$run_pid" | awk '$2 == "Parlo" { print $1 }')
    kill -TERM "${parlo_pid:-$run_pid}" 2>/dev/null || true
    wait "$run_pid" || true
}

window=""
for _ in $(seq 150); do
    window=$(xdotool search --name "^Parlo Tovrik$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "screenshot.sh: the main window did not appear" >&2
    cat "$log" >&2
    stop_program
    exit 1
fi
# A few hundred performers take a few seconds to read.
for _ in $(seq 600); do
    grep -q "first list of" "$log" && break
    sleep 0.1
done
if ! grep -q "first list of" "$log"; then
    echo "screenshot.sh: the first list did not arrive" >&2
    tail -n 40 "$log" >&2
    stop_program
    exit 1
fi
# Give the trees a moment to paint it.
sleep "${WAIT:-1}"
import -window "$window" "$out"
stop_program
echo "screenshot.sh: wrote $out"
PARLO_SCREENSHOTS="$(cd "$(dirname "$out")" && pwd)" build/gui_tests --gtest_filter='*WatchingFavoritesAndPopups*' >/dev/null
echo "screenshot.sh: wrote $(dirname "$out")/favorites.png and $(dirname "$out")/popup.png"
