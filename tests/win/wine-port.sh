# shellcheck shell=bash
# Sourced by the drivers of the Windows tests that need a serial port: a
# throw-away Wine prefix whose COM names lead to Linux devices, programs
# started beside it, and the clean-up of all of it however the driver ends.
#
#   wp_begin NAME            the driver's name for messages; makes the prefix
#   wp_start_server VAR WHAT CMD...
#                            starts CMD, which prints a port path as its first
#                            line, sets VAR to that path and wp_last_pid to
#                            the program's process id
#   wp_map_port COMn PATH    COMn of the prefix leads to PATH ...
#   wp_apply_ports           ... from the next Windows program on
#   wp_wait PID WHAT SECONDS waits for a started program; its exit status

wp_name=wine-port
wp_dir=
wp_pids=()
wp_last_pid=

wp_die() {
    echo "$wp_name: $*" >&2
    exit 1
}

wp_cleanup() {
    local pid
    for pid in "${wp_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${wp_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if [[ -n $wp_dir ]]; then
        # Programs of the build machine a test started from under Wine (the
        # simulators) are no children of this script: found by the folder
        # they were given.
        pkill -f -- "$wp_dir/" 2>/dev/null || true
        # Stops every Windows program of the prefix, then waits until the
        # server has let go of the files about to be removed.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        rm -rf "$wp_dir"
    fi
}

wp_begin() {
    wp_name=$1
    command -v wine >/dev/null || wp_die "wine is not installed (scripts/install-deps installs it)"
    trap wp_cleanup EXIT
    trap 'exit 130' INT TERM
    wp_dir=$(mktemp -d "${TMPDIR:-/tmp}/comflash-wine.XXXXXX")
    export WINEPREFIX=$wp_dir/prefix
    export WINEDEBUG=-all
    # No Mono or Gecko: nothing here needs them, and their installers would
    # ask for a download.
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot -i >"$wp_dir/wineboot.log" 2>&1; then
        wp_die "cannot make a Wine prefix in $WINEPREFIX (wineboot -i failed): $(tail -3 "$wp_dir/wineboot.log")"
    fi
}

wp_start_server() {
    # Locals carry the prefix, so that none hides the caller's VAR.
    local wp_result=$1 wp_what=$2
    shift 2
    local wp_out
    wp_out=$(mktemp "$wp_dir/server.XXXXXX")
    # The time limit is a backstop for a driver killed without its clean-up.
    timeout 900 "$@" >"$wp_out" 2>"$wp_out.err" &
    wp_last_pid=$!
    wp_pids+=("$wp_last_pid")
    local wp_waited=0 wp_path=
    while ((wp_waited < 300)); do
        wp_path=$(head -n 1 "$wp_out")
        [[ -n $wp_path && -e $wp_path ]] && break
        kill -0 "$wp_last_pid" 2>/dev/null ||
            wp_die "the $wp_what ended before naming its port: $(tail -5 "$wp_out.err")"
        sleep 0.1
        ((wp_waited += 1))
    done
    [[ -n $wp_path && -e $wp_path ]] || wp_die "the $wp_what named no port within 30 s"
    printf -v "$wp_result" '%s' "$wp_path"
}

wp_map_port() {
    wine reg add 'HKLM\Software\Wine\Ports' /v "$1" /d "$2" /f >/dev/null 2>&1 ||
        wp_die "cannot map $1 to $2 in the Wine registry"
}

# Wine reads the port map when its server starts; a dosdevices link edited by
# hand would be rewritten then.
# The server is started here, with its own log: on the way out it lists what
# it still holds, which is no one's business on the test's output.
wp_apply_ports() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p10 >>"$wp_dir/wineserver.log" 2>&1 ||
        wp_die "cannot start the Wine server: $(tail -3 "$wp_dir/wineserver.log")"
}

wp_wait() {
    local pid=$1 what=$2 seconds=$3 waited=0
    while kill -0 "$pid" 2>/dev/null && ((waited < seconds * 10)); do
        sleep 0.1
        ((waited += 1))
    done
    kill -0 "$pid" 2>/dev/null && wp_die "the $what did not end within $seconds s"
    local status=0
    wait "$pid" || status=$?
    return "$status"
}
