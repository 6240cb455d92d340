#!/bin/sh
# Runs a test (the login-unit test, the app-slice test) against a real systemd user manager of
# its own: a mount namespace where /run/systemd/system exists (systemd refuses to run as a user
# manager otherwise), a private session bus, and a temporary home. Nothing of the machine's own session is touched.
# Usage: loginunit.sh <test executable> <stand-in app>   (the test finds it in LOGINUNIT_STANDIN)
set -u
skip() { echo "SKIP: $*"; exit 77; }

[ "$(id -u)" = 0 ] || skip "needs root to make a mount namespace"
[ -x /lib/systemd/systemd ] || skip "systemd is not installed"
command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed (dbus)"
unshare -m true 2>/dev/null || skip "mount namespaces are not available here"

if [ "${LOGINUNIT_INSIDE:-}" != 1 ]; then
    LOGINUNIT_INSIDE=1 exec unshare -m --propagation private sh "$0" "$@"
fi

work=$(mktemp -d)
mkdir -m 700 "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/run/bus"
mkdir -p "$HOME"
mount -t tmpfs tmpfs /run/systemd 2>/dev/null || { mkdir -p /run/systemd && mount -t tmpfs tmpfs /run/systemd; }
mkdir -p /run/systemd/system

bus_pid=$(dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --fork --print-pid)
/lib/systemd/systemd --user >"$work/manager.log" 2>&1 &
manager=$!
cleanup() {
    kill "$manager" 2>/dev/null
    wait "$manager" 2>/dev/null
    kill "$bus_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

tries=0
until systemctl --user is-system-running >/dev/null 2>&1 || [ "$(systemctl --user is-system-running 2>/dev/null)" = degraded ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        cat "$work/manager.log"
        skip "the systemd user manager did not come up"
    fi
    sleep 0.1
done
# No display here, for the unit's copies of the app nor for the test's.
export QT_QPA_PLATFORM=offscreen
systemctl --user set-environment QT_QPA_PLATFORM=offscreen
LOGINUNIT_STANDIN="$2" "$1"
