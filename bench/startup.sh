#!/usr/bin/env bash
# Start-up benchmark, run by hand: time to first window, time to tray icon and idle memory.
# Usage: bench/startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
runs=${2:-7}
app="$build/bin/nimbrel"
idle_ms=5000

case $runs in '' | *[!0-9]*) echo "RUNS must be a number" >&2; exit 2 ;; esac
if [ "$runs" -lt 2 ]; then echo "RUNS must be at least 2 (the first is a warm-up)" >&2; exit 2; fi
if [ ! -x "$app" ]; then echo "No app at $app: build it first" >&2; exit 2; fi
command -v Xvfb >/dev/null || { echo "Xvfb is missing (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-bench.XXXXXX")
xvfb_pid=
app_pid=

stop_app() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || return 0
    # Give it two seconds to quit cleanly before forcing it.
    for i in $(seq 20); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    [ -n "$app_pid" ] && stop_app "$app_pid"
    if [ -n "$xvfb_pid" ]; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# -displayfd makes Xvfb pick a free display itself and write its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$(tr -dc 0-9 <"$work/display")"

now_ms() { date +%s%3N; }

# One run on a fresh home; sets "<to-window-ms> <to-tray-ms> <rss-kB>" in $result.
# Not run in a subshell, so the exit trap still sees the app it must stop.
run_once() {
    local n=$1 home="$work/run$1" out t0 pid rss win tray left
    mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime"
    chmod 0700 "$home/runtime"
    out="$home/stdout"
    t0=$(now_ms)
    # A clean environment so the desktop session (D-Bus, themes, ...) of the caller does not leak in.
    env -i PATH="$PATH" LANG=C.UTF-8 HOME="$home" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" \
        DISPLAY="$display" QT_QPA_PLATFORM=xcb NIMBREL_TRACE_STARTUP=1 \
        "$app" >"$out" 2>"$home/stderr" &
    pid=$!
    app_pid=$pid
    left=$((t0 + idle_ms - $(now_ms)))
    [ "$left" -gt 0 ] && sleep "$(awk -v ms="$left" 'BEGIN { printf "%.3f", ms / 1000 }')"
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "run $n: the app exited early; its stderr:" >&2
        tail -n 20 "$home/stderr" >&2
        exit 1
    fi
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    stop_app "$pid"
    app_pid=
    win=$(awk -v t0="$t0" '$1 == "startup-trace" && $2 == "window" { print $3 - t0; exit }' "$out")
    tray=$(awk -v t0="$t0" '$1 == "startup-trace" && $2 == "tray" { print $3 - t0; exit }' "$out")
    result="${win:-NA} ${tray:-NA} ${rss:-NA}"
}

median() { # of the numbers on stdin; NA when there are none
    sort -n | awk '$1 != "NA" { v[n++] = $1 }
        END { if (!n) print "NA"; else if (n % 2) print v[int(n / 2)]; else print (v[n / 2 - 1] + v[n / 2]) / 2 }'
}

mb() { awk -v k="$1" 'BEGIN { if (k == "NA") print "NA"; else printf "%.1f", k / 1024 }'; }

echo "Benchmarking $app on $display, $runs runs (first is a warm-up)"
: >"$work/results"
for n in $(seq "$runs"); do
    run_once "$n"
    r=$result
    read -r win tray rss <<<"$r"
    printf '  run %d: window %s ms, tray %s ms, RSS %s MB\n' "$n" "$win" "$tray" "$(mb "$rss")"
    if [ "$n" -eq 1 ]; then warm="$r"; else echo "$r" >>"$work/results"; fi
done

read -r w_win w_tray w_rss <<<"$warm"
m_win=$(awk '{ print $1 }' "$work/results" | median)
m_tray=$(awk '{ print $2 }' "$work/results" | median)
m_rss=$(awk '{ print $3 }' "$work/results" | median)

echo
printf '%-32s %10s %12s %10s\n' "" "warm-up" "median($((runs - 1)))" "goal"
printf '%-32s %10s %12s %10s\n' "time to window (ms)" "$w_win" "$m_win" "<= 150"
printf '%-32s %10s %12s %10s\n' "time to tray (ms)" "$w_tray" "$m_tray" "-"
printf '%-32s %10s %12s %10s\n' "RSS after 5 s idle (MB)" "$(mb "$w_rss")" "$(mb "$m_rss")" "<= 40"
