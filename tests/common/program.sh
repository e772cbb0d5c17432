# Sourced by the test scripts that run the program as a user would.

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

# Starts the program (the command and arguments after LOG) with its traces in LOG, waits for its
# first list of performers, runs the command in $while_running if set, then ends the program as a
# session's end does. Succeeds when all that did and the program ended with status 0; otherwise
# shows the end of LOG.
# Usage: [while_running=COMMAND] run_until_first_list LOG COMMAND [arguments...]
run_until_first_list() {
    local log=$1
    shift
    WXTRACE=${WXTRACE:-lumora} "$@" 2> "$log" &
    local pid=$! status=0
    # A program that has ended will not get there any more.
    wait_for 1200 bash -c "grep -q 'first list of' '$log' || ! kill -0 $pid 2>/dev/null"
    if ! grep -q "first list of" "$log"; then
        echo "${0##*/}: $* did not show the list:" >&2
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        tail -n 20 "$log" >&2
        return 1
    fi
    local done=0
    if [ -n "${while_running:-}" ] && ! $while_running; then
        echo "${0##*/}: $while_running failed" >&2
        done=1
    fi
    kill -TERM "$pid"
    if ! wait_for 600 bash -c "! kill -0 $pid 2>/dev/null"; then
        echo "${0##*/}: $* still runs a minute after SIGTERM" >&2
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        return 1
    fi
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "${0##*/}: $* ended with status $status:" >&2
        tail -n 20 "$log" >&2
        return 1
    fi
    return "$done"
}
