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
scripts/run.sh > /tmp/parlo-screenshot.log 2>&1 &
run_pid=$!
window=""
for _ in $(seq 150); do
    window=$(xdotool search --name "^Parlo Tovrik$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "screenshot.sh: the main window did not appear" >&2
    cat /tmp/parlo-screenshot.log >&2
    kill "$run_pid" 2>/dev/null || true
    exit 1
fi
# The first list arrives within a poll; give the trees a moment to show it.
sleep "${WAIT:-6}"
import -window "$window" "$out"
pkill -TERM -f "build/Parlo --no-update" || true
wait "$run_pid" || true
echo "screenshot.sh: wrote $out"
PARLO_SCREENSHOTS="$PWD/$(dirname "$out")" build/gui_tests --gtest_filter='*WatchingFavoritesAndPopups*' >/dev/null
echo "screenshot.sh: wrote $(dirname "$out")/favorites.png and $(dirname "$out")/popup.png"
