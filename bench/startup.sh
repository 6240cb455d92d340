#!/usr/bin/env bash
# Start-up benchmark, run by hand: the app next to a bare Qt tray program (one window, a tray
# icon), each started RUNS times on a fresh home under one Xvfb: time to first window, time to
# tray icon, idle memory, then wake-ups a minute once both have sat idle for a minute.
# Usage: bench/startup.sh [BUILD_DIR] [RUNS]
#   WAKE_SECONDS=0 skips the wake-up rows (default 60: a minute of idle, then a minute counted)
#   NO_WM=1 runs without a window manager (default: openbox when installed, as on a desktop)
#   BARE=path picks the bare program (default: BUILD_DIR/bin/nimbrel_bench_bare_tray)
#   KEEP=1 keeps each run's home, output and /proc smaps
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
runs=${2:-7}
app="$build/bin/nimbrel"
bare=${BARE:-"$build/bin/nimbrel_bench_bare_tray"}
idle_ms=5000
wake_s=${WAKE_SECONDS:-60}

case $runs in '' | *[!0-9]*) echo "RUNS must be a number" >&2; exit 2 ;; esac
case $wake_s in '' | *[!0-9]*) echo "WAKE_SECONDS must be a number" >&2; exit 2 ;; esac
if [ "$runs" -lt 2 ]; then echo "RUNS must be at least 2 (the first is a warm-up)" >&2; exit 2; fi
if [ ! -x "$app" ]; then echo "No app at $app: build it first" >&2; exit 2; fi
# An older build has no bare program: its row then reads NA.
[ -x "$bare" ] || { echo "No bare program at $bare (target nimbrel_bench_bare_tray): its row is NA" >&2; bare=; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-bench.XXXXXX")
xvfb_pid=
wm_pid=
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
    for pid in $wm_pid $xvfb_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "${KEEP:-}" ]; then echo "runs kept in $work (smaps of each)"; else rm -rf "$work"; fi
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

# A desktop has a window manager: without one the app cannot follow the active window and
# watches processes instead, which is not what users run.
session="no window manager"
if [ -z "${NO_WM:-}" ] && command -v openbox >/dev/null; then
    DISPLAY=$display openbox --sm-disable >"$work/openbox.log" 2>&1 </dev/null &
    wm_pid=$!
    session="openbox"
    if command -v xprop >/dev/null; then
        for _ in $(seq 100); do
            DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
            sleep 0.05
        done
    else
        sleep 1
    fi
fi

now_ms() { date +%s%3N; }

# Sums the context switches of every thread: each is one wake-up of the process.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print n + 0 }'
}

# Starts a program on a fresh home; sets $app_pid and $out.
start() {
    local prog=$1 home=$2
    mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime"
    chmod 0700 "$home/runtime"
    out="$home/stdout"
    # A clean environment so the desktop session (D-Bus, themes, ...) of the caller does not leak in.
    env -i PATH="$PATH" LANG=C.UTF-8 HOME="$home" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" \
        DISPLAY="$display" QT_QPA_PLATFORM=xcb NIMBREL_TRACE_STARTUP=1 \
        "$prog" >"$out" 2>"$home/stderr" &
    app_pid=$!
}

sleep_until() { # <epoch ms>
    local left=$(($1 - $(now_ms)))
    [ "$left" -gt 0 ] && sleep "$(awk -v ms="$left" 'BEGIN { printf "%.3f", ms / 1000 }')"
    return 0
}

alive() { # <pid> <home>
    kill -0 "$1" 2>/dev/null && return 0
    echo "$(basename "$2"): the program exited early; its stderr:" >&2
    tail -n 20 "$2/stderr" >&2
    exit 1
}

# One run on a fresh home; sets "<to-window-ms> <to-tray-ms> <rss-kB>" in $result.
# Not run in a subshell, so the exit trap still sees the program it must stop.
run_once() {
    local prog=$1 home=$2 t0 rss win tray
    t0=$(now_ms)
    start "$prog" "$home"
    sleep_until $((t0 + idle_ms))
    alive "$app_pid" "$home"
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status")
    # Where the memory is, by mapping (kept with KEEP=1).
    cat "/proc/$app_pid/smaps" >"$home/smaps" 2>/dev/null || true
    stop_app "$app_pid"
    app_pid=
    win=$(awk -v t0="$t0" '$1 == "startup-trace" && $2 == "window" { print $3 - t0; exit }' "$out")
    tray=$(awk -v t0="$t0" '$1 == "startup-trace" && $2 == "tray" { print $3 - t0; exit }' "$out")
    result="${win:-NA} ${tray:-NA} ${rss:-NA}"
}

# Wake-ups a minute after wake_s seconds of idle, counted over the next wake_s seconds.
wakeups() {
    local prog=$1 home=$2 t0 before after
    t0=$(now_ms)
    start "$prog" "$home"
    sleep_until $((t0 + wake_s * 1000))
    alive "$app_pid" "$home"
    before=$(switches "$app_pid")
    sleep_until $((t0 + 2 * wake_s * 1000))
    alive "$app_pid" "$home"
    after=$(switches "$app_pid")
    stop_app "$app_pid"
    app_pid=
    result=$(awk -v n=$((after - before)) -v s="$wake_s" 'BEGIN { printf "%.0f", n * 60 / s }')
}

median() { # of the numbers on stdin; NA when there are none
    sort -n | awk '$1 != "NA" { v[n++] = $1 }
        END { if (!n) print "NA"; else if (n % 2) print v[int(n / 2)]; else print (v[n / 2 - 1] + v[n / 2]) / 2 }'
}

mb() { awk -v k="$1" 'BEGIN { if (k == "NA") print "NA"; else printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "NA" || b == "NA" || b == 0) print "NA"; else printf "%.2fx", a / b }'; }

echo "Benchmarking $app next to ${bare:-no bare program} on $display ($session), $runs runs each (first is a warm-up)"
: >"$work/bare.results"
: >"$work/ours.results"
# Interleaved, so a change of load on the machine moves both columns alike.
for n in $(seq "$runs"); do
    for which in bare ours; do
        if [ "$which" = bare ]; then prog=$bare; else prog=$app; fi
        [ -n "$prog" ] || { echo "NA NA NA" >>"$work/$which.results"; continue; }
        run_once "$prog" "$work/$which$n"
        read -r win tray rss <<<"$result"
        printf '  run %d %-4s: window %s ms, tray %s ms, RSS %s MB\n' "$n" "$which" "$win" "$tray" "$(mb "$rss")"
        [ "$n" -eq 1 ] || echo "$result" >>"$work/$which.results"
    done
done

col() { awk -v c="$2" '{ print $c }' "$work/$1.results" | median; }
b_win=$(col bare 1) b_tray=$(col bare 2) b_rss=$(col bare 3)
o_win=$(col ours 1) o_tray=$(col ours 2) o_rss=$(col ours 3)

# The wake-up runs last: two quiet minutes each.
b_wake=NA o_wake=NA
if [ "$wake_s" -gt 0 ]; then
    echo "  wake-ups: ${wake_s} s idle, then ${wake_s} s counted, each program"
    [ -n "$bare" ] && { wakeups "$bare" "$work/bare-wake"; b_wake=$result; }
    wakeups "$app" "$work/ours-wake"
    o_wake=$result
fi
extra=$(awk -v a="$o_wake" -v b="$b_wake" 'BEGIN { if (a == "NA" || b == "NA") print "NA"; else printf "%+d", a - b }')

# The goal is one column without spaces: other scripts read "ours" as the third from the end.
echo
printf 'medians of %d warm runs\n' "$((runs - 1))"
printf '%-32s %10s %10s %8s %10s\n' "" "bare" "ours" "ratio" "goal"
printf '%-32s %10s %10s %8s %10s\n' "time to window (ms)" "$b_win" "$o_win" "$(ratio "$o_win" "$b_win")" "<=1.0x"
printf '%-32s %10s %10s %8s %10s\n' "time to tray (ms)" "$b_tray" "$o_tray" "$(ratio "$o_tray" "$b_tray")" "-"
printf '%-32s %10s %10s %8s %10s\n' "RSS after 5 s idle (MB)" "$(mb "$b_rss")" "$(mb "$o_rss")" "$(ratio "$o_rss" "$b_rss")" "<=1.15x"
printf '%-32s %10s %10s %8s %10s\n' "wake-ups a minute, idle" "$b_wake" "$o_wake" "$extra" "<=+6"
