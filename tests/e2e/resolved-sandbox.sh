#!/bin/sh
# Runs a command beside a systemd-resolved and a systemd-networkd of their own, and no
# NetworkManager: new network, mount and PID namespaces, a private system bus, and two veth links:
# eth0, to which networkd gives a DNS server and a search domain, and wlan0, which nothing manages.
# /run and /etc/systemd/network are fresh tmpfs in here, so the machine's resolver and network
# settings stay out of reach. When the command ends, or this script is killed, the PID namespace
# ends and all in it. systemd-resolved trusts the certificate authorities put in
# $NIMBREL_RESOLVED_SANDBOX/ca (hashed names, as openssl rehash makes them) and no others.
#
#     resolved-sandbox.sh COMMAND [ARGS...]   exit 77: cannot run here (the reason on stderr)
#     RESOLVED_SANDBOX_ROOT=DIR      where systemd-resolved is unpacked when this machine lacks it
#     RESOLVED_SANDBOX_LOG_LEVEL=debug   the daemons' log on stderr (default warning)
set -eu

skip() {
    echo "SKIP: $*" >&2
    exit 77
}
. "$(dirname "$0")/find-resolved.sh"

if [ "${1:-}" != --inside ]; then
    [ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
    [ "$(id -u)" -eq 0 ] || skip "needs root (namespaces and daemons of its own)"
    for tool in dbus-daemon:dbus unshare:util-linux ip:iproute2; do
        command -v "${tool%%:*}" >/dev/null || skip "${tool%%:*} is not installed (${tool#*:})"
    done
    [ -x /lib/systemd/systemd-networkd ] || skip "systemd-networkd is not installed (systemd)"
    unshare -n -m -p -f --kill-child true 2>/dev/null || skip "cannot make namespaces here (unshare -n -m -p failed)"

    find_resolved
    # exec: killing this process (a CTest timeout sends SIGKILL) kills the namespace's first process, and
    # with it every process in the namespace.
    exec unshare -n -m -p -u -f --kill-child --mount-proc sh "$0" --inside "$resolved" "$resolvectl" "$@"
fi
resolved=$2 resolvectl=$3
shift 3

daemons=
trap 'kill $daemons 2>/dev/null; wait' EXIT
# Read-only: networkd then takes this for a container and waits for no udev.
mount -t sysfs -o ro sysfs /sys
mount -t tmpfs tmpfs /run
[ ! -d /etc/systemd/network ] || mount -t tmpfs tmpfs /etc/systemd/network
work=/run/resolved-sandbox
mkdir -p "$work" /run/systemd/network
export NIMBREL_RESOLVED_SANDBOX="$work"

add_daemon_users "$work" systemd-resolve systemd-network

cat >/run/systemd/network/50-eth0.network <<CONF
[Match]
Name=eth0
[Network]
Address=10.10.0.1/24
# Long enough that resolvectl wraps it onto a second line.
DNS=192.0.2.53 198.51.100.53 2001:db8:1::53 2001:db8:2::53 2001:db8:3::53
Domains=home.lan
LinkLocalAddressing=no
CONF

mkdir -p /run/dbus
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=/run/dbus/system_bus_socket"
export SYSTEMD_LOG_LEVEL="${RESOLVED_SANDBOX_LOG_LEVEL:-warning}"
export PATH="${resolvectl%/*}:$PATH"
dbus-daemon --config-file="$(dirname "$0")/private-system-bus.conf" --nofork --nopidfile 2>"$work/bus.log" &
daemons=$!
ip link set lo up
ip link add eth0 type veth peer name peer0
ip link add wlan0 type veth peer name peer1
for link in wlan0 peer0 peer1; do
    ip link set "$link" up
done
i=0
until [ -S /run/dbus/system_bus_socket ]; do
    i=$((i + 1)); [ $i -lt 100 ] || { cat "$work/bus.log" >&2; echo "the private bus did not start" >&2; exit 1; }
    sleep 0.05
done
start_resolved "$work/ca"
daemons="$daemons $resolved_pid"
/lib/systemd/systemd-networkd &
daemons="$daemons $!"
# Ready once networkd has configured eth0 and handed its DNS server to resolved.
i=0
until resolvectl dns eth0 2>/dev/null | grep -q 192.0.2.53; do
    i=$((i + 1)); [ $i -lt 100 ] || { resolvectl dns >&2; echo "systemd-resolved and systemd-networkd did not start" >&2; exit 1; }
    sleep 0.1
done
"$@"
