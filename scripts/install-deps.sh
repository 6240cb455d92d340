#!/bin/sh
# Installs the Debian packages listed in scripts/packages/, only those missing.
#   scripts/install-deps.sh run    what building and running the app and the server need
#   scripts/install-deps.sh package  that, and what building the .deb packages needs
#   scripts/install-deps.sh test   all of these, and what the tests need
set -eu

here=$(cd "$(dirname "$0")" && pwd)
case "${1:-test}" in
run) lists="$here/packages/run.txt" ;;
package) lists="$here/packages/run.txt $here/packages/package.txt" ;;
test) lists="$here/packages/run.txt $here/packages/package.txt $here/packages/test.txt" ;;
*)
    echo "usage: $0 run|package|test" >&2
    exit 2
    ;;
esac

# shellcheck disable=SC2086
packages=$(sed -e 's/#.*//' $lists | tr -s ' \t\n' ' ')

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "These Debian packages are missing:$missing" >&2
    echo "Installing them needs root, and sudo is not installed. Run this once as root, then try again:" >&2
    echo "    su -c 'apt-get update && apt-get install -y --no-install-recommends$missing'" >&2
    exit 1
fi
echo "Installing:$missing"
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
