#!/usr/bin/env bash
# The running program's budgets, measured on the real build/Parlo against the simulated site:
# resident memory with 10,000 performers online above the same program with none, the CPU it
# takes between polls, its wakeups per second at idle and while it reads a long list, and the
# bytes each poll moves. Wakeups are measured beside a floor program (a bare toolkit window with
# a tree and a ten-second timer) in the same run, under the same display; bytes beside the plain
# list and its gzip. Run by scripts/bench.sh under a virtual display.
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
# The watch history of the measured programs stays with the bench.
export XDG_DATA_HOME=$work/share

# Starts the site with $1 performers and the program against it; sets sim_pid, parlo_pid, host.
start() {
    local performers=$1 name=$2
    sitesim_start "$build" "$work/$name.sim" --performers "$performers" --churn 0
    pids+=("$sim_pid")
    printf '[Site]\nmainhost=%s\n[System]\nsyncinterval=%s\n[SplashScreen]\nduration=1\n' \
        "$host" "$INTERVAL" > "$work/$name.conf"
    WXTRACE=${TRACE-lumora} "$build/Parlo" --no-update --config "$work/$name.conf" > "$work/$name.log" 2>&1 &
    parlo_pid=$!
    pids+=("$parlo_pid")
}

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Times any thread of process $1 has gone to sleep and so been woken again: "thread id count"
# lines, one per thread alive now.
switches() {
    local task
    for task in /proc/"$1"/task/*; do
        awk -v t="${task##*/}" '/^voluntary_ctxt_switches:/ { print t, $2 }' "$task/status" 2>/dev/null || true
    done
}

# Wakeups per second of process $1 over $2 seconds: every thread's, those that start meanwhile
# counted from nothing.
wakeups_per_second() {
    local pid=$1 seconds=$2
    switches "$pid" > "$work/before"
    sleep "$seconds"
    switches "$pid" > "$work/after"
    awk -v s="$seconds" 'NR == FNR { before[$1] = $2; next } { total += $2 - before[$1] }
                         END { printf "%.2f", total / s }' "$work/before" "$work/after"
}

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

# Waits until the program's log ($1) holds $2, at most $3 seconds.
wait_for_log() {
    local name=$1 text=$2 seconds=$3
    for _ in $(seq $((seconds * 10))); do
        grep -q "$text" "$work/$name.log" && return 0
        sleep 0.1
    done
    echo "runtime.sh: no \"$text\" in $seconds s" >&2
    grep "first list\|performer list\|HttpClient" "$work/$name.log" >&2 || true
    return 1
}

stop() { kill "$parlo_pid" "$sim_pid" 2>/dev/null || true; wait "$parlo_pid" "$sim_pid" 2>/dev/null || true; }

# Opens a performer's history window from the keyboard, as a user leaves one open while the polls
# go on: Ctrl+H in the main window, and the first performer of the history when it asks whose.
open_history() {
    local frame="" try
    for try in $(seq 300); do
        frame=$(xdotool search --name "^Parlo Tovrik$" 2>/dev/null | head -n 1 || true)
        [ -n "$frame" ] && break
        sleep 0.1
    done
    for try in $(seq 300); do
        xdotool search --name "^History of " > /dev/null 2>&1 && return 0
        if xdotool search --name "^History$" > /dev/null 2>&1; then
            # Whose history, or that it knows nobody yet before the first poll is written.
            xdotool key Return
        elif [ $((try % 20)) -eq 1 ]; then
            xdotool windowfocus --sync "$frame" key ctrl+h
        fi
        sleep 0.1
    done
    echo "runtime.sh: no history window opened" >&2
    return 1
}

# The floor, under the same display.
"$build/floor_program" > /dev/null 2>&1 &
floor_pid=$!
pids+=("$floor_pid")
sleep 5
floor_wakeups=$(wakeups_per_second "$floor_pid" 30)
kill "$floor_pid" 2>/dev/null || true
wait "$floor_pid" 2>/dev/null || true

INTERVAL=600 start 0 empty
wait_for_lists empty 1 30
sleep 3
empty_rss=$(rss_kib "$parlo_pid")
stop

# The list takes about 10 ms a performer to read, 100 s for 10,000; the trees get it once it is
# all read. Wakeups are counted over 30 s of the reading, from 10 s after the request went out.
INTERVAL=1 start 10000 full
wait_for_log full "HttpClient: GET .*online_performers.js" 60
sleep 10
reading_wakeups=$(wakeups_per_second "$parlo_pid" 30)
grep -q "first list of" "$work/full.log" && echo "runtime.sh: the list was read before the count ended" >&2
wait_for_log full "first list of 10000 performers" 300
sleep 3
full_rss=$(rss_kib "$parlo_pid")
stop

# Idle as a watcher runs all day: 300 performers, nobody changes, a poll every 10 s, a history
# window open. Counted over 30 s (three polls) once the first list is in, as users run it: without
# traces, each of which a worker thread hands to the main thread. Each poll's bytes are what the
# site sent.
TRACE= INTERVAL=10 start 300 watching
wait_for_lists watching 1 60
open_history
sleep 5
idle_wakeups=$(wakeups_per_second "$parlo_pid" 30)
curl -s -o "$work/plain.js" "http://$host/include/js/online_performers.js"
stop
plain_bytes=$(wc -c < "$work/plain.js")
gzip_bytes=$(gzip -9 -c "$work/plain.js" | wc -c)
poll_bytes=$(awk '$2 ~ /online_performers.js/ && $3 == 200 && $5 == "[gzip]" { total += $4; n++ }
                  END { if ( n ) printf "%.0f", total / n; else print -1 }' "$work/watching.sim")

# Between polls nothing should run, a history window open or not: 300 performers, a minute's
# interval, 20 s measured after the first list is in.
INTERVAL=60 start 300 idle
wait_for_lists idle 1 30
open_history
sleep 8
before=$(cpu_ticks "$parlo_pid")
sleep 20
after=$(cpu_ticks "$parlo_pid")
polls=$(grep -c "online_performers.js" "$work/idle.sim")
hz=$(getconf CLK_TCK)
stop
[ "$polls" -eq 1 ] || echo "runtime.sh: a poll fell into the idle window" >&2

# From exec to the main window, with a year of history on disk (from bench_history, when it left
# one): the median of five starts, each against the 300 performers' site.
startup_ms=-1
if [ -f "${HISTORY_YEAR:-}" ]; then
    sitesim_start "$build" "$work/startup.sim" --performers 300 --churn 0
    pids+=("$sim_pid")
    printf '[Site]\nmainhost=%s\n[SplashScreen]\nduration=0\n' "$host" > "$work/startup.conf"
    mkdir -p "$XDG_DATA_HOME/Lumora"
    for run in 1 2 3 4 5; do
        cp "$HISTORY_YEAR" "$XDG_DATA_HOME/Lumora/history.sqlite"
        started=$(date +%s%3N)
        WXTRACE=lumora "$build/Parlo" --no-update --config "$work/startup.conf" > "$work/startup.log" 2>&1 &
        parlo_pid=$!
        pids+=("$parlo_pid")
        wait_for_log startup "MainFrame: shown at" 60
        shown=$(sed -n 's/.*MainFrame: shown at \([0-9]*\) ms.*/\1/p' "$work/startup.log")
        echo $((shown - started)) >> "$work/startup.ms"
        kill "$parlo_pid" 2>/dev/null || true
        wait "$parlo_pid" 2>/dev/null || true
    done
    startup_ms=$(sort -n "$work/startup.ms" | sed -n 3p)
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
fi

awk -v e="$empty_rss" -v f="$full_rss" -v b="$before" -v a="$after" -v hz="$hz" \
    -v floor="$floor_wakeups" -v idle="$idle_wakeups" -v reading="$reading_wakeups" \
    -v plain="$plain_bytes" -v gz="$gzip_bytes" -v poll="$poll_bytes" -v startup="$startup_ms" 'BEGIN {
    mib = (f - e) / 1024
    cpu = (a - b) / hz / 20 * 100
    printf "%-58s %10.2f %-6s budget < %g %s  %s\n", "resident memory, 10000 performers above none", mib, "MiB", 20, "MiB", (mib < 20 ? "ok" : "OVER BUDGET")
    printf "%-58s %10.2f %-6s budget < %g %s  %s\n", "CPU between polls (20 s), a history window open", cpu, "%", 1, "%", (cpu < 1 ? "ok" : "OVER BUDGET")
    printf "%-58s %10.2f %-6s budget <= %g %s  %s   (floor program: %.2f)\n", "wakeups, idle, 300 performers, a history window open", idle, "/s", 0.5, "/s", (idle <= 0.5 ? "ok" : "OVER BUDGET"), floor
    printf "%-58s %10.2f %-6s budget <= %g %s  %s   (floor program: %.2f)\n", "wakeups while a list of 10000 is read", reading, "/s", 4, "/s", (reading <= 4 ? "ok" : "OVER BUDGET"), floor
    if ( startup >= 0 )
        printf "%-58s %10d %-6s budget <= %d %s  %s\n", "exec to the main window, a year of history on disk", startup, "ms", 150, "ms", (startup <= 150 ? "ok" : "OVER BUDGET")
    budget = plain / 5
    printf "%-58s %10d %-6s budget <= %d %s  %s   (floor, gzip -9 of it: %d; plain: %d)\n", "bytes received per poll, 300 performers", poll, "B", budget, "B", (poll >= 0 && poll <= budget ? "ok" : "OVER BUDGET"), gz, plain
}'
