#!/usr/bin/env bash
# The running program's budgets, measured on the real build/Parlo against the simulated site:
# resident memory with 10,000 performers online above the same program with none, and the CPU
# it takes between polls. Run by scripts/bench.sh under a virtual display.
set -euo pipefail
build=${1:-build-bench}
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the site with $1 performers and the program against it; sets site_pid, parlo_pid, host.
start() {
    local performers=$1 name=$2
    "$build/sitesim" --port 0 --performers "$performers" --churn 0 > "$work/$name.sim" 2>&1 &
    site_pid=$!
    pids+=("$site_pid")
    host=""
    for _ in $(seq 50); do
        host=$(sed -n 's|^sitesim: serving http://\([0-9.]*:[0-9]*\)/.*|\1|p' "$work/$name.sim")
        [ -n "$host" ] && break
        sleep 0.1
    done
    printf '[Site]\nmainhost=%s\n[System]\nsyncinterval=%s\n[SplashScreen]\nduration=1\n' \
        "$host" "${INTERVAL:-600}" > "$work/$name.conf"
    "$build/Parlo" --no-update --config "$work/$name.conf" > "$work/$name.log" 2>&1 &
    parlo_pid=$!
    pids+=("$parlo_pid")
}

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

start 0 empty
sleep 5
empty_rss=$(rss_kib "$parlo_pid")
kill "$parlo_pid" "$site_pid"; wait "$parlo_pid" "$site_pid" 2>/dev/null || true

start 10000 full
# 10,000 performers at 10 ms each, plus the trees.
sleep "${FULL_WAIT:-115}"
full_rss=$(rss_kib "$parlo_pid")

# Between polls: nothing should run. Measure over 20 s after the list is in.
before=$(cpu_ticks "$parlo_pid")
sleep 20
after=$(cpu_ticks "$parlo_pid")
hz=$(getconf CLK_TCK)
kill "$parlo_pid" "$site_pid"; wait "$parlo_pid" "$site_pid" 2>/dev/null || true

awk -v e="$empty_rss" -v f="$full_rss" -v b="$before" -v a="$after" -v hz="$hz" 'BEGIN {
    mib = (f - e) / 1024
    cpu = (a - b) / hz / 20 * 100
    printf "%-58s %10.2f %-6s budget < %g %s  %s\n", "resident memory, 10000 performers above none", mib, "MiB", 20, "MiB", (mib < 20 ? "ok" : "OVER BUDGET")
    printf "%-58s %10.2f %-6s budget < %g %s  %s\n", "CPU between polls (10000 performers, 20 s)", cpu, "%", 1, "%", (cpu < 1 ? "ok" : "OVER BUDGET")
}'
