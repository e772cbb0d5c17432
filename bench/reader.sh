#!/usr/bin/env bash
# Runs the benchmark BENCH (and its arguments) as a screen reader's user meets it: on a private
# session bus with the accessibility bus, a reader listening to every event, and the trees read
# as the reader reads the one it is in. Under a display of its own.
# Usage: bench/reader.sh BENCH [arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${READER_SESSION:-}" ]; then
    READER_SESSION=1 exec dbus-run-session --config-file="$here/../tests/desktop/bare-bus.conf" -- "$0" "$@"
fi
source "$here/../tests/common/program.sh"
work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately > "$work/at-spi.log" 2>&1 &
pids+=("$!")
a11y_bus() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.a11y.Bus 2>/dev/null | grep -c true > /dev/null
}
wait_for 300 a11y_bus || { echo "reader.sh: no accessibility bus" >&2; exit 1; }
# The reader tells the benchmark, by a file, when it knows the program named APP (the bench's).
app=$(basename "$1")
/usr/bin/python3 "$here/../tests/desktop/accessible.py" "$app" attend 3600 > "$work/reader.txt" &
pids+=("$!")
wait_for 300 grep -q "^listening" "$work/reader.txt" || { echo "reader.sh: the reader does not listen" >&2; exit 1; }
( wait_for 600 grep -q "^known" "$work/reader.txt" && touch "$work/known" ) &
pids+=("$!")
PARLO_BENCH_READER=$work/known "$@"
