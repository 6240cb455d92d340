#!/bin/sh
# A private X server with openbox for the window tests, never the developer's display.
#   x11-session.sh start|stop STATE_DIR
# start writes the display number to STATE_DIR/display; when Xvfb or openbox is missing it
# writes the reason to STATE_DIR/missing and the tests skip with it.
set -u
action=$1
state=$2
stop() {
    for name in openbox xvfb; do
        [ -f "$state/$name.pid" ] && kill "$(cat "$state/$name.pid")" 2>/dev/null
    done
    return 0
}
case "$action" in
stop)
    stop
    exit 0
    ;;
start) ;;
*) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
stop
rm -rf "$state"
mkdir -p "$state"
for tool in Xvfb openbox xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed (scripts/install-deps.sh test installs it)" > "$state/missing"
        cat "$state/missing"
        exit 0
    fi
done
# Display numbers from 70 up, never :0 or another low number a desktop may be using: the first
# one Xvfb can take (it refuses a number in use, and -displayfd says which one it took).
number=70
while :; do
    if [ ! -e "/tmp/.X$number-lock" ] && [ ! -e "/tmp/.X11-unix/X$number" ]; then
        : > "$state/display"
        Xvfb ":$number" -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 </dev/null &
        echo $! > "$state/xvfb.pid"
        tries=0
        while [ ! -s "$state/display" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null && [ $tries -lt 100 ]; do
            tries=$((tries + 1))
            sleep 0.1
        done
        [ -s "$state/display" ] && break
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    fi
    number=$((number + 1))
    [ $number -gt 120 ] && { echo "Xvfb did not start" > "$state/missing"; stop; exit 1; }
done
display=:$(tr -d '\n' < "$state/display")
DISPLAY=$display openbox --sm-disable >"$state/openbox.log" 2>&1 </dev/null &
echo $! > "$state/openbox.pid"
tries=0
until DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && { echo "openbox did not start" > "$state/missing"; stop; exit 1; }
    sleep 0.1
done
echo "X server $display with openbox"
