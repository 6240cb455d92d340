#!/bin/sh
# Starts the local operator server in the background (data and outbox under the build folder),
# then the app against it, with a display or under Xvfb when there is none. The server stays up
# for as long as a copy of this build's app runs: a newer copy started by hand takes over from
# the first one (the older copy quits), so the server stops only when the last copy has ended,
# or on Ctrl-C.
# The server also answers DNS on 127.0.0.1:53, the filtering address the app points the system
# at; DNS_UPSTREAM=ADDR[:PORT] forwards allowed names there instead of resolving from the root.
set -eu
build=${1:-build}
app="$build/bin/nimbrel"
server="$build/bin/nimbrel-server"
data="$build/server-data"
outbox="$data/outbox"
log="$data/server.log"

mkdir -p "$data"
: > "$log"

# Port 53 needs root or the cap_net_bind_service capability on the binary. File capabilities
# go when the binary is relinked, so sudo is asked for only when this build changed it.
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v getcap >/dev/null 2>&1 || ! command -v setcap >/dev/null 2>&1; then
        echo "getcap/setcap are missing (package libcap2-bin): the filtering DNS will not start on port 53."
    elif ! getcap "$server" | grep -q cap_net_bind_service; then
        echo "nimbrel-server needs the capability cap_net_bind_service to answer DNS on 127.0.0.1:53,"
        echo "the filtering address the app points the system at. The binary was (re)built, which drops"
        echo "file capabilities, so sudo is asked once to run: setcap cap_net_bind_service=+ep $server"
        if ! sudo setcap cap_net_bind_service=+ep "$server"; then
            echo "The capability was not set: the server will run without DNS on port 53 (turning protection"
            echo "on would then break name look-ups)."
        fi
    fi
fi

set -- --data-dir "$data" --outbox "$outbox" --dns-listen 127.0.0.1 --dns-port 53
[ -n "${DNS_UPSTREAM:-}" ] && set -- "$@" --dns-upstream "$DNS_UPSTREAM"
# Social sign-in needs the provider settings on the server too (see nimbrel-server --help), e.g.
# SERVER_ARGS="--google-verify-url https://openidconnect.googleapis.com/v1/userinfo --google-client-id <id>"
# shellcheck disable=SC2086 # split on purpose: several options
[ -n "${SERVER_ARGS:-}" ] && set -- "$@" $SERVER_ARGS
"$server" "$@" >> "$log" 2>&1 &
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
# The DNS front reports once its policy is loaded: a line saying where it listens, or why not.
tries=0
until grep -q "^DNS " "$log" || [ "$tries" -gt 50 ]; do
    tries=$((tries + 1))
    sleep 0.1
done
grep "^DNS " "$log" || echo "The filtering DNS has not reported yet; see $log"
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

# The app logs on standard output: shown here and kept in a file, so that what led to an
# abnormal end can still be read once the terminal has scrolled.
applog="$data/app.log"
: > "$applog"
echo "App log: $applog"
rm -f "$data/app.status"
run_app() {
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
        "$app"
    else
        echo "No display found: running under Xvfb (nothing will be visible)."
        xvfb-run -a "$app"
    fi
}
# A pipeline keeps only tee's status: the app's goes through a file.
{ run_app 2>&1 || echo "$?" > "$data/app.status"; } | tee -a "$applog"
status=0
[ -s "$data/app.status" ] && status=$(cat "$data/app.status")
rm -f "$data/app.status"

# Said before the server stops, so it is not lost among the lines that follow.
if [ "$status" -gt 128 ]; then
    signal=$((status - 128))
    name=$(kill -l "$signal" 2>/dev/null || echo "$signal")
    echo "nimbrel ended abnormally: killed by signal $signal (SIG$name). Its log: $applog"
elif [ "$status" -ne 0 ]; then
    echo "nimbrel ended abnormally: exit code $status. Its log: $applog"
fi

if app_running; then
    echo "Another copy of the app is running: nimbrel-server stays up until it ends (Ctrl-C stops it now)."
    while app_running; do
        sleep 1
    done
    status=0
fi
exit "$status"
