# Sourced by the scripts that run the program against the simulated site.

# Starts BUILD_DIR/sitesim on a free port of 127.0.0.1 with the given options, its output in LOG,
# and waits for the address it serves. Sets sim_pid and host ("127.0.0.1:PORT"); when the site
# does not come up within half a minute, stops it, shows its output and returns 1.
# Usage: sitesim_start BUILD_DIR LOG [sitesim options...]
sitesim_start() {
    local build=$1 log=$2
    shift 2
    # There before the site opens it, which the background start may do after the first look.
    : > "$log"
    "$build/sitesim" --port 0 "$@" > "$log" 2>&1 &
    sim_pid=$!
    host=""
    for _ in $(seq 300); do
        host=$(sed -n 's|^sitesim: serving http://\([0-9.]*:[0-9]*\)/.*|\1|p' "$log")
        [ -n "$host" ] && return 0
        # A site that has ended will not print it any more.
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
    echo "${0##*/}: the simulated site did not start:" >&2
    cat "$log" >&2
    return 1
}

# Stops the site that sitesim_start started, if it runs.
sitesim_stop() {
    if [ -n "${sim_pid:-}" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=""
    fi
}

# Writes a configuration FILE, readable by its owner only, that points the program at the site,
# followed by the given lines (for example "[SplashScreen]" "duration=0").
# Usage: sitesim_config FILE [LINE...]
sitesim_config() {
    local file=$1
    shift
    (umask 077 && printf '%s\n' "[Site]" "mainhost=$host" "imagehost=$host" "previewhost=$host" "$@" > "$file")
}
