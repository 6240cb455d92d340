#!/bin/sh
# Starts the local operator server in the background (data and outbox under the build folder),
# then the app against it, with a display or under Xvfb when there is none. The server stays up
# for as long as a copy of this build's app runs: a newer copy started by hand takes over from
# the first one (the older copy quits), so the server stops only when the last copy has ended,
# or on Ctrl-C.
set -eu
build=${1:-build}
app="$build/bin/nimbrel"
server="$build/bin/nimbrel-server"
data="$build/server-data"
outbox="$data/outbox"
log="$data/server.log"

mkdir -p "$data"
: > "$log"
"$server" --data-dir "$data" --outbox "$outbox" >> "$log" 2>&1 &
server_pid=$!

stop_server() {
    if kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        echo "nimbrel-server stopped."
    fi
}
trap stop_server EXIT
trap 'exit 130' INT TERM

tries=0
until grep -q "listening on" "$log"; do
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "nimbrel-server did not start:"
        cat "$log"
        exit 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "nimbrel-server did not start within 10 seconds; its log: $log"
        exit 1
    fi
    sleep 0.1
done
grep -m 1 "listening on" "$log"
echo "E-mails (password reset links, retrieved PINs) land in: $outbox"
echo "Server log: $log"

# Copies of this build's app that are running now, found by their executable, whoever started them.
app_exe=$(readlink -f "$app")
app_running() {
    for exe in /proc/[0-9]*/exe; do
        [ "$(readlink "$exe" 2>/dev/null)" = "$app_exe" ] && return 0
    done
    return 1
}

status=0
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$app" || status=$?
else
    echo "No display found: running under Xvfb (nothing will be visible)."
    xvfb-run -a "$app" || status=$?
fi

if app_running; then
    echo "Another copy of the app is running: nimbrel-server stays up until it ends (Ctrl-C stops it now)."
    while app_running; do
        sleep 1
    done
    status=0
fi
exit "$status"
