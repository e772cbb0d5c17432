#!/usr/bin/env bash
# Builds the parser's fuzz target with clang, AddressSanitizer and UndefinedBehaviourSanitizer,
# and runs it for RUNS inputs (default one million) or at most SECONDS seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-1000000}
seconds=${SECONDS_LIMIT:-600}
CC=clang CXX=clang++ BUILD_TARGET=fuzz_performer_list scripts/build.sh build-fuzz \
    -DCMAKE_BUILD_TYPE=Debug -DPARLO_SANITIZE=address,undefined -DPARLO_FUZZ=ON
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$work/corpus
mkdir "$corpus"
cp tests/fuzz/corpus/* "$corpus"/
ASAN_OPTIONS=detect_leaks=1 build-fuzz/fuzz_performer_list -runs="$runs" -max_total_time="$seconds" \
    -max_len=4096 -timeout=10 -print_final_stats=1 "$corpus" > "$work/log" 2>&1 || { tail -n 40 "$work/log"; exit 1; }
grep -E "^(Done|stat::number_of_executed_units)" "$work/log"
