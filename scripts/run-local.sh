#!/bin/sh
# Starts the app from the build folder with a display; under Xvfb when there is none.
set -eu
build=${1:-build}
app="$build/bin/nimbrel"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$app"
fi
echo "No display found: running under Xvfb (nothing will be visible)."
exec xvfb-run -a "$app"
