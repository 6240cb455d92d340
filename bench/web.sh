#!/usr/bin/env bash
# Web windows benchmark, run by hand: the idle app before and after the web plugin work, side
# by side, then what the first web window costs with and without shared OpenGL contexts.
# Usage: bench/web.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
before=${1:?"usage: bench/web.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [RUNS]"}
after=${2:?"usage: bench/web.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [RUNS]"}
runs=${3:-7}
paint="$after/bench/nimbrel_bench_webpaint"
[ -x "$paint" ] || { echo "No $paint: build the target nimbrel_bench_webpaint first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-webbench.XXXXXX")
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The same start-up benchmark on both builds, one after the other in this run.
for which in before after; do
    dir=${!which}
    echo "== $which: $dir/bin/nimbrel"
    WAKE_SECONDS=0 "$here/startup.sh" "$dir" "$runs" | tee "$work/$which"
done
column() { # <file> <row label>: the app's median column of startup.sh's table
    awk -v label="$2" 'index($0, label) == 1 { print $(NF - 2) }' "$1"
}

echo
printf '%-28s %10s %10s %10s\n' "medians of $((runs - 1)) warm runs" "before" "after" "goal"
printf '%-28s %10s %10s %10s\n' "time to window (ms)" "$(column "$work/before" "time to window")" \
    "$(column "$work/after" "time to window")" "unchanged"
printf '%-28s %10s %10s %10s\n' "time to tray (ms)" "$(column "$work/before" "time to tray")" \
    "$(column "$work/after" "time to tray")" "-"
printf '%-28s %10s %10s %10s\n' "RSS after 5 s idle (MB)" "$(column "$work/before" "RSS after")" \
    "$(column "$work/after" "RSS after")" "<= 40"

# The first web window, in a process of its own under Xvfb, with and without shared contexts.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$(tr -dc 0-9 <"$work/display")"
for mode in share-gl no-share-gl; do
    flag=
    [ "$mode" = no-share-gl ] && flag=--no-share-gl
    mkdir -p "$work/$mode/runtime" && chmod 0700 "$work/$mode/runtime"
    env -i PATH="$PATH" LANG=C.UTF-8 HOME="$work/$mode" XDG_RUNTIME_DIR="$work/$mode/runtime" \
        DISPLAY="$display" QT_QPA_PLATFORM=xcb "$paint" "$after/bin" $flag >"$work/$mode.out" 2>"$work/$mode.err" \
        || { echo "first-paint run ($mode) failed:" >&2; tail -n 20 "$work/$mode.err" >&2; exit 1; }
done
value() { awk -v k="$2" '$1 == k { print $2 }' "$work/$1.out"; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
echo
printf '%-34s %12s %12s\n' "first web window (block page)" "shared GL" "no shared GL"
for key in plugin-load-ms page-loaded-ms first-paint-ms; do
    printf '%-34s %12s %12s\n' "$key" "$(value share-gl "$key")" "$(value no-share-gl "$key")"
done
for key in rss-before-plugin-kB rss-plugin-loaded-kB rss-window-open-kB; do
    printf '%-34s %12s %12s\n' "${key%-kB} (MB)" "$(mb "$(value share-gl "$key")")" "$(mb "$(value no-share-gl "$key")")"
done
