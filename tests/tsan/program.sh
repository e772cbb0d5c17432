#!/usr/bin/env bash
# The whole program under the race detector: a run against the simulated site with churn, so
# that lists, pop-ups and their pictures keep coming, then a stop signal. Passes when the
# program ends with 0 and the detector reported nothing.
# Usage: program.sh BUILD_DIR (a -DPARLO_SANITIZE=thread build), on a display.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/sitesim.sh"
source "$here/../common/program.sh"
work=$(mktemp -d)
# The watch history of the test's programs stays with the test.
export XDG_DATA_HOME=$work/share
sim_pid=""
pid=""
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    sitesim_stop
    rm -rf "$work"
}
trap cleanup EXIT

# How many lines of a log ($2, default the program's) hold $1.
count() { grep -c "$1" "$work/${2:-program.log}" || true; }

# The pictures come by https, several at a time, from a site signed by an authority of our own.
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $key -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 -subj "/CN=Parlo test" 2> /dev/null
openssl req $key -keyout "$work/site.key" -out "$work/site.csr" -subj "/CN=127.0.0.1" 2> /dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > "$work/site.ext"
openssl x509 -req -in "$work/site.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
    -out "$work/site.pem" -days 2 -extfile "$work/site.ext" 2> /dev/null

sitesim_start "$build" "$work/sitesim.log" --performers 20 --churn 0.5 --tls "$work/site.pem" "$work/site.key"
sitesim_config "$work/Parlo.conf" "[System]" "syncinterval=1" "[SplashScreen]" "duration=0" "[PopupDialog]" \
    "duration=1"
sed -i "s|^imagehost=.*|imagehost=https://$host|" "$work/Parlo.conf"

SSL_CERT_FILE="$work/ca.pem" \
TSAN_OPTIONS="suppressions=$here/program.supp halt_on_error=0 exitcode=66 second_deadlock_stack=1" \
    "$build/Parlo" --no-update --config "$work/Parlo.conf" 2> "$work/program.log" &
pid=$!
# Enough polls and pictures for the threads to have met many times.
enough() {
    [ "$(count online_performers.js sitesim.log)" -ge 15 ] && [ "$(count LinkedImage.jpg sitesim.log)" -ge 10 ]
}
if ! wait_for 1800 enough; then
    echo "program.sh: the program did not get going:" >&2
    tail -n 40 "$work/program.log" >&2
    exit 1
fi
kill -TERM "$pid"
if ! wait_for 600 bash -c "! kill -0 $pid 2>/dev/null"; then
    echo "program.sh: still running a minute after SIGTERM" >&2
    exit 1
fi
status=0
wait "$pid" || status=$?
pid=""
reports=$(count "WARNING: ThreadSanitizer")
echo "program.sh: $(count online_performers.js sitesim.log) polls, $(count LinkedImage.jpg sitesim.log) pictures," \
     "exit status $status, $reports report(s)"
if [ "$status" -ne 0 ] || [ "$reports" -ne 0 ]; then
    head -n 200 "$work/program.log" >&2
    exit 1
fi
