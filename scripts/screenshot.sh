#!/usr/bin/env bash
# Takes the README's screenshots under a virtual display: the main window running against the
# simulated site once its "All" page has filled, with a name typed into its search field
# (docs/main-window.png), the same in Japanese (docs/main-window-ja.png), then the favourites
# page and a pop-up from the end-to-end test (docs/favorites.png, docs/popup.png), and a
# performer's history window over a simulated month (docs/history.png).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${INSIDE_XVFB:-}" ]; then
    scripts/deps.sh
    BUILD_TARGET="ParloHost sitesim gui_tests" scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec env INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
fi

out=${1:-docs/main-window.png}
log=/tmp/parlo-screenshot.log
run_pid=""

# Ends the program that our run.sh started (no other), and run.sh then stops its site.
stop_program() {
    local parlo_pid
    parlo_pid=$(ps -o pid=,comm= --ppid "$run_pid" | awk '$2 == "Parlo" { print $1 }')
    kill -TERM "${parlo_pid:-$run_pid}" 2>/dev/null || true
    wait "$run_pid" || true
}

# Runs the program in language $1 against the simulated site, types $2 into its search field
# (when not empty) and saves the main window as $3.
shoot() {
    local language=$1 filter=$2 file=$3 window=""
    # The program's trace says when its first list has reached the windows.
    WXTRACE=lumora scripts/run.sh --lang "$language" > "$log" 2>&1 &
    run_pid=$!
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
    if [ -n "$filter" ]; then
        # The search field sits below the menu bar, across the window.
        xdotool mousemove --window "$window" 120 43 click 1
        xdotool type --delay 80 "$filter"
    fi
    # Give the trees a moment to paint it.
    sleep "${WAIT:-1}"
    import -window "$window" "$file"
    stop_program
    echo "screenshot.sh: wrote $file"
}

shoot en "${FILTER-an}" "$out"
shoot ja "" "$(dirname "$out")/main-window-ja.png"
PARLO_SCREENSHOTS="$(cd "$(dirname "$out")" && pwd)" \
    build/gui_tests --gtest_filter='*WatchingFavoritesAndPopups*:HistoryWindowTest.*' >/dev/null
echo "screenshot.sh: wrote $(dirname "$out")/favorites.png, popup.png and history.png"
