#!/usr/bin/env bash
# Installs what is missing, builds the normal, the AddressSanitizer and the ThreadSanitizer
# variants, runs every test under a virtual display, and fuzzes the list parser for a
# bounded time. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DPARLO_SANITIZE=address,undefined
# Under ThreadSanitizer: the thread tests, and the whole program against the simulated site.
BUILD_TARGET="core_tests ParloHost Parlo sitesim" scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DPARLO_SANITIZE=thread

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

passed=0
failed=0
run() {
    echo "== $1"
    if "${@:2}"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
}
for dir in build build-asan build-tsan; do
    # -noreset: the display does not reset between the tests' programs, which would refuse one
    # that connects while it does.
    run "tests in $dir" bash -c "cd $dir && xvfb-run -a -s '-screen 0 1280x800x24 -noreset' ctest --output-on-failure"
done
run "fuzzing the list parser" env RUNS="${FUZZ_RUNS:-1000000}" SECONDS_LIMIT=600 scripts/fuzz.sh

echo "test.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
