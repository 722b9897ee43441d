# shellcheck shell=bash
# Shared by the AppImage's end-to-end runs (run_appimage_window, run_appimage_portable): a
# private network namespace, the maker service with its access log, a private Xvfb display,
# waiting with liveness bounds, and failing with what was seen. Sourced; expects $here,
# $root, $host, $scratch and the service variables of tests/service/with_service.
skip=77

need_service() {
    if [[ ! $host =~ ^localhost:([0-9]+)$ ]]; then
        echo "$(basename "$0"): skipped: the AppImage is built for $host, not for localhost:PORT"
        exit $skip
    fi
    port=${BASH_REMATCH[1]}
    for variable in ZORVAMANAGER_TEST_SERVICE_SCRIPT ZORVAMANAGER_TEST_CERT ZORVAMANAGER_TEST_KEY; do
        if [ -z "${!variable:-}" ]; then
            echo "$(basename "$0"): skipped: no trusted local service here (run it inside tests/service/with_service)"
            exit $skip
        fi
    done
}

# Re-runs the calling script in a network namespace of its own (loopback up), so that the
# service's port never meets another run's.
own_network() {
    if [ -z "${ZORVAMANAGER_APPIMAGE_NETWORK:-}" ]; then
        if unshare --net true 2>/dev/null; then
            ZORVAMANAGER_APPIMAGE_NETWORK=private exec unshare --net -- bash "$0" "$@"
        fi
        export ZORVAMANAGER_APPIMAGE_NETWORK=shared
    fi
    if [ "$ZORVAMANAGER_APPIMAGE_NETWORK" = private ]; then
        python3 -c '
import fcntl, socket, struct
SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
    flags = struct.unpack("16sH22x", fcntl.ioctl(s, SIOCGIFFLAGS, struct.pack("16sH22x", b"lo", 0)))[1]
    fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH22x", b"lo", flags | IFF_UP))'
    fi
}

readonly start_bound=90 catalogue_bound=120 action_bound=120 close_bound=60
program_pid="" service_pid="" xvfb_pid="" own_display="" keep=""

cleanup() {
    for pid in "$program_pid" "$service_pid" "$xvfb_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if [ -z "$keep" ]; then
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT

screenshot() {
    if [ -n "$own_display" ]; then
        DISPLAY=$own_display import -window root "$1" 2>/dev/null || true
    fi
}

# Keeps a picture of the screen where ZORVAMANAGER_APPIMAGE_SCREENSHOTS names a folder.
picture() {
    if [ -n "${ZORVAMANAGER_APPIMAGE_SCREENSHOTS:-}" ]; then
        mkdir -p "$ZORVAMANAGER_APPIMAGE_SCREENSHOTS"
        screenshot "$ZORVAMANAGER_APPIMAGE_SCREENSHOTS/$1.png"
    fi
}

fail() {
    echo "$(basename "$0"): FAILED: $*" >&2
    screenshot "$scratch/failure.png"
    echo "--- program output (end)" >&2
    tail -n 30 "$scratch/program.log" >&2 2>/dev/null || true
    echo "--- service access log (end)" >&2
    tail -n 15 "$scratch/access.log" >&2 2>/dev/null || true
    keep=yes
    echo "$(basename "$0"): kept for inspection: $scratch" >&2
    exit 1
}

step() { echo "== $*"; }

# wait_until DESCRIPTION SECONDS COMMAND...: liveness, never timing.
wait_until() {
    local description=$1 bound=$2
    shift 2
    local deadline=$((SECONDS + bound)) output status
    while true; do
        status=0
        output=$("$@" 2>&1) || status=$?
        [ "$status" -eq 0 ] && return 0
        [ "$status" -eq 2 ] && fail "$description${output:+: $output}"
        if [ -n "$program_pid" ] && ! kill -0 "$program_pid" 2>/dev/null; then
            output=$("$@" 2>&1) && return 0
            fail "the program ended while waiting for $description${output:+: $output}"
        fi
        [ "$SECONDS" -ge "$deadline" ] && fail "$description: not within $bound s${output:+: $output}"
        sleep 0.25
    done
}

start_service() {
    local data=$1
    python3 "$ZORVAMANAGER_TEST_SERVICE_SCRIPT" --port "$port" --cert "$ZORVAMANAGER_TEST_CERT" \
        --key "$ZORVAMANAGER_TEST_KEY" --data "$data" --ready-file "$scratch/ready" \
        --access-log "$scratch/access.log" &
    service_pid=$!
    service_ready() {
        [ -f "$scratch/ready" ] && return 0
        kill -0 "$service_pid" 2>/dev/null || { echo "the service has ended"; return 2; }
        return 1
    }
    wait_until "the maker service" "$start_bound" service_ready
}

stop_service() {
    kill -TERM "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
    rm -f "$scratch/ready"
}

start_display() {
    exec 3>"$scratch/display"
    Xvfb -displayfd 3 -screen 0 1280x860x24 -nolisten tcp -noreset >"$scratch/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    display_ready() { grep -q '^[0-9]' "$scratch/display"; }
    wait_until "the Xvfb display" "$start_bound" display_ready
    own_display=:$(head -n 1 "$scratch/display")
    export DISPLAY=$own_display
    python3 "$root/tests/blackbox/close_window.py" --prepare || fail "the display does not answer"
}

# find_window TITLE: the visible window of that exact title.
find_window() { xdotool search --onlyvisible --name "^$1\$" | head -n 1 | grep .; }
no_window() { ! find_window "$1" >/dev/null 2>&1 || { echo "the window \"$1\" is shown"; return 1; }; }
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }

# end_program: waits for the program (started in the background as $program_pid) to end and
# sets program_status.
end_program() {
    wait_until "the program to end" "$close_bound" program_ended
    program_status=0
    wait "$program_pid" || program_status=$?
    program_pid=""
}

close_main_window() {
    local window
    window=$(find_window ZorvaManager) || fail "no main window to close"
    python3 "$root/tests/blackbox/close_window.py" "$window" || fail "the close request could not be sent"
}

# answer TITLE KEY: the message box of that title takes KEY (Return: its first button,
# Escape: its second).
answer() {
    local window
    wait_until "the message box \"$1\"" "$action_bound" find_window "$1"
    window=$(find_window "$1")
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    xdotool key --clearmodifiers "$2"
}
