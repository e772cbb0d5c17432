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
source "$here/../tests/desktop/session.sh"
work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT
fail() { echo "reader.sh: $*" >&2; exit 1; }
accessibility_start "$work"
# The reader tells the benchmark, by a file, when it knows the program named APP (the bench's).
app=$(basename "$1")
/usr/bin/python3 "$here/../tests/desktop/accessible.py" "$app" attend 3600 > "$work/reader.txt" &
pids+=("$!")
wait_for 300 grep -q "^listening" "$work/reader.txt" || fail "the reader does not listen"
( wait_for 600 grep -q "^known" "$work/reader.txt" && touch "$work/known" ) &
pids+=("$!")
PARLO_BENCH_READER=$work/known "$@"
