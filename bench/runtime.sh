#!/usr/bin/env bash
# The running program's budgets, measured on the real build/Parlo against the simulated site:
# resident memory with 10,000 performers online above the same program with none, and the CPU
# it takes between polls. Run by scripts/bench.sh under a virtual display.
set -euo pipefail
source "$(dirname "$0")/../scripts/sitesim.sh"
build=${1:-build-bench}
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the site with $1 performers and the program against it; sets sim_pid, parlo_pid, host.
start() {
    local performers=$1 name=$2
    sitesim_start "$build" "$work/$name.sim" --performers "$performers" --churn 0
    pids+=("$sim_pid")
    printf '[Site]\nmainhost=%s\n[System]\nsyncinterval=%s\n[SplashScreen]\nduration=1\n' \
        "$host" "$INTERVAL" > "$work/$name.conf"
    WXTRACE=lumora "$build/Parlo" --no-update --config "$work/$name.conf" > "$work/$name.log" 2>&1 &
    parlo_pid=$!
    pids+=("$parlo_pid")
}

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Waits until the site has served the list $2 times to run $1, at most $3 seconds.
wait_for_lists() {
    local name=$1 count=$2 seconds=$3
    for _ in $(seq $((seconds * 10))); do
        [ "$(grep -c "online_performers.js" "$work/$name.sim")" -ge "$count" ] && return 0
        sleep 0.1
    done
    echo "runtime.sh: the list was not fetched $count times in $seconds s" >&2
    return 1
}

# Waits until the program has handed its first list of $2 performers to the windows, at most $3 s.
wait_for_first_list() {
    local name=$1 count=$2 seconds=$3
    for _ in $(seq $((seconds * 10))); do
        grep -q "first list of $count performers" "$work/$name.log" && return 0
        sleep 0.1
    done
    echo "runtime.sh: no first list of $count performers in $seconds s" >&2
    grep "first list\|performer list" "$work/$name.log" >&2 || true
    return 1
}

stop() { kill "$parlo_pid" "$sim_pid" 2>/dev/null || true; wait "$parlo_pid" "$sim_pid" 2>/dev/null || true; }

INTERVAL=600 start 0 empty
wait_for_lists empty 1 30
sleep 3
empty_rss=$(rss_kib "$parlo_pid")
stop

# The list takes about 10 ms a performer to read; the trees get it once it is all read. The site
# logs a request only once it has sent the whole answer, so its log cannot tell when that is.
INTERVAL=1 start 10000 full
wait_for_first_list full 10000 300
sleep 3
full_rss=$(rss_kib "$parlo_pid")
stop

# Between polls nothing should run: 300 performers, a minute's interval, 20 s measured after
# the first list is in.
INTERVAL=60 start 300 idle
wait_for_lists idle 1 30
sleep 8
before=$(cpu_ticks "$parlo_pid")
sleep 20
after=$(cpu_ticks "$parlo_pid")
polls=$(grep -c "online_performers.js" "$work/idle.sim")
hz=$(getconf CLK_TCK)
stop
[ "$polls" -eq 1 ] || echo "runtime.sh: a poll fell into the idle window" >&2

awk -v e="$empty_rss" -v f="$full_rss" -v b="$before" -v a="$after" -v hz="$hz" 'BEGIN {
    mib = (f - e) / 1024
    cpu = (a - b) / hz / 20 * 100
    printf "%-58s %10.2f %-6s budget < %g %s  %s\n", "resident memory, 10000 performers above none", mib, "MiB", 20, "MiB", (mib < 20 ? "ok" : "OVER BUDGET")
    printf "%-58s %10.2f %-6s budget < %g %s  %s\n", "CPU between polls (20 s)", cpu, "%", 1, "%", (cpu < 1 ? "ok" : "OVER BUDGET")
}'
