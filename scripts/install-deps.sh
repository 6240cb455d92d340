#!/bin/sh
# Installs the Debian packages the build, the app and the tests need, only those missing.
set -eu

packages="
cmake
g++
make
pkg-config
qt6-base-dev
qt6-base-dev-tools
qt6-svg-dev
qt6-httpserver-dev
qt6-websockets-dev
libqt6sql6-sqlite
libqt6sql6-psql
libsodium-dev
postgresql
libqt6svg6
qt6-qpa-plugins
libgl-dev
xvfb
xauth
fonts-dejavu-core
"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=""
else
    sudo="sudo"
fi
echo "Installing:$missing"
$sudo apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
