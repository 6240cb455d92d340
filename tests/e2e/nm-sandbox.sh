#!/bin/sh
# Runs a command beside a NetworkManager of its own: new network, mount and PID namespaces, a
# private system bus, and two veth pairs (eth0, eth1) for it to manage. /run,
# /etc/NetworkManager and /var/lib/NetworkManager are fresh tmpfs in here, and dns=none with
# rc-manager=unmanaged keeps it off resolv.conf, so the machine's networking stays out of reach.
# When the command ends, or this script is killed, the PID namespace ends and all in it.
#
# With --with-resolved, NetworkManager hands its DNS to a systemd-resolved of the sandbox's own
# (dns=systemd-resolved), which trusts only the certificate authorities put in
# $NIMBREL_NM_SANDBOX/ca (hashed names, as openssl rehash makes them).
#
#     nm-sandbox.sh [--with-resolved] COMMAND [ARGS...]   exit 77: cannot run here (the reason on stderr)
#     NM_SANDBOX_LOG_LEVEL=DEBUG          NetworkManager's log on stderr (default WARN)
#     RESOLVED_SANDBOX_ROOT=DIR           where systemd-resolved is unpacked when this machine lacks it
set -eu

skip() {
    echo "SKIP: $*" >&2
    exit 77
}
. "$(dirname "$0")/find-resolved.sh"

if [ "${1:-}" != --inside ]; then
    resolved= resolvectl=
    if [ "${1:-}" = --with-resolved ]; then
        shift
        find_resolved
    fi
    [ $# -gt 0 ] || { echo "usage: $0 [--with-resolved] COMMAND [ARGS...]" >&2; exit 2; }
    [ "$(id -u)" -eq 0 ] || skip "needs root (namespaces and a NetworkManager of its own)"
    for tool in NetworkManager:network-manager nmcli:network-manager dbus-daemon:dbus unshare:util-linux ip:iproute2; do
        command -v "${tool%%:*}" >/dev/null || skip "${tool%%:*} is not installed (${tool#*:})"
    done
    unshare -n -m -p -f --kill-child true 2>/dev/null || skip "cannot make namespaces here (unshare -n -m -p failed)"
    # exec: killing this process (a CTest timeout sends SIGKILL) kills the namespace's first process, and
    # with it every process in the namespace.
    # -u: the host name too, should NetworkManager ever set one.
    exec unshare -n -m -p -u -f --kill-child --mount-proc sh "$0" --inside "$resolved" "$resolvectl" "$@"
fi
resolved=$2 resolvectl=$3
shift 3

nm= bus= resolved_pid=
trap 'kill $nm $bus $resolved_pid 2>/dev/null; wait' EXIT
# This namespace's interfaces; read-only, so NetworkManager does not wait for a udev that is not there.
mount -t sysfs -o ro sysfs /sys
for dir in /run /etc/NetworkManager /var/lib/NetworkManager; do
    mount -t tmpfs tmpfs "$dir"
done
work=/run/nm-sandbox
mkdir -p "$work/connections"
export NIMBREL_NM_SANDBOX="$work"

dns=none
if [ -n "$resolved" ]; then
    dns=systemd-resolved
    export NIMBREL_NM_SANDBOX_RESOLVED=1
    add_daemon_users "$work" systemd-resolve
    export PATH="${resolvectl%/*}:$PATH"
fi

cat >"$work/nm.conf" <<CONF
[main]
dns=$dns
rc-manager=unmanaged
hostname-mode=none
plugins=keyfile
auth-polkit=false
no-auto-default=*
[keyfile]
path=$work/connections
unmanaged-devices=interface-name:peer*
[connectivity]
enabled=false
[logging]
level=${NM_SANDBOX_LOG_LEVEL:-WARN}
CONF

mkdir -p /run/dbus
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=/run/dbus/system_bus_socket"
# It complains that it may not raise its file limit; only a failure to start matters.
dbus-daemon --config-file="$(dirname "$0")/private-system-bus.conf" --nofork --nopidfile 2>"$work/bus.log" &
bus=$!
ip link set lo up
for i in 0 1; do
    ip link add "eth$i" type veth peer name "peer$i"
    ip link set "peer$i" up
done
i=0
until [ -S /run/dbus/system_bus_socket ]; do
    i=$((i + 1)); [ $i -lt 100 ] || { cat "$work/bus.log" >&2; echo "the private bus did not start" >&2; exit 1; }
    sleep 0.05
done
if [ -n "$resolved" ]; then
    start_resolved "$work/ca"
    i=0
    until resolvectl dns >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -lt 100 ] || { echo "systemd-resolved did not start" >&2; exit 1; }
        sleep 0.1
    done
fi
# --debug: stay in the foreground and log to stderr.
NetworkManager --debug --config="$work/nm.conf" --config-dir="$work/none" --system-config-dir="$work/none" \
    --intern-config="$work/intern.conf" --state-file="$work/nm.state" --pid-file="$work/nm.pid" &
nm=$!
i=0
until [ "$(nmcli -t -f RUNNING general 2>/dev/null)" = running ]; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "NetworkManager did not start" >&2; exit 1; }
    sleep 0.1
done
"$@"
