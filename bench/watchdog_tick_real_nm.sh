#!/bin/sh
# The watchdog tick against a real NetworkManager (root): inside the end-to-end test's sandbox,
# two protected connections of two services (Ethernet and a bridge, where the stand-in run has
# Ethernet and Wi-Fi), then nimbrel_bench_watchdog --real.
#
#     bench/watchdog_tick_real_nm.sh [BUILD_DIR] [RUNS]     # defaults: build, 30
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bench=$(cd "${1:-build}" && pwd)/bench/nimbrel_bench_watchdog
exec sh "$here/../tests/e2e/nm-sandbox.sh" sh -c '
    set -e
    nmcli connection add type ethernet con-name Wired ifname eth0 autoconnect no ipv4.method manual \
        ipv4.addresses 10.10.0.1/24 ipv4.dns 127.0.0.1 ipv4.ignore-auto-dns yes ipv6.method disabled >/dev/null
    nmcli connection add type bridge con-name Bridge ifname br0 autoconnect no ipv4.method manual \
        ipv4.addresses 10.20.0.1/24 ipv4.dns 127.0.0.1 ipv4.ignore-auto-dns yes ipv6.method disabled >/dev/null
    nmcli connection up Wired >/dev/null && nmcli connection up Bridge >/dev/null
    "$0" "$1" --real | tail -4' "$bench" "${2:-30}"
