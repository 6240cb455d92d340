#!/usr/bin/env bash
# HTTP benchmark, run by hand: nimbrel-server against the bare QtHttpServer program
# (bench_http_bare, a fixed 313-byte JSON answer) with wrk, on loopback, interleaved, twice.
# The signed-in rows send the user's own token and language as the app does; the ratio is
# nimbrel's requests per second over the bare program's in the line above.
# Usage: bench/http/run.sh [BUILD_DIR] [SECONDS] [CONNECTIONS]   defaults: build, 10, 50
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../../build"}
seconds=${2:-10}
connections=${3:-50}
server="$build/bin/nimbrel-server"
bare="$build/bin/bench_http_bare"
token=bench-app-token

for program in "$server" "$bare"; do
    [ -x "$program" ] || { echo "No $program: cmake --build $build --target nimbrel-server bench_http_bare" >&2; exit 2; }
done
for tool in wrk curl python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (make test installs wrk and curl)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-http-bench.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
ticks_per_second=$(getconf CLK_TCK)

wait_for() { # url
    for _ in $(seq 100); do curl -s -o /dev/null "$1" && return 0; sleep 0.1; done
    echo "nothing answers at $1" >&2; exit 1
}

bare_port=$(free_port)
"$bare" "$bare_port" >"$work/bare.log" &
bare_pid=$!
pids+=("$bare_pid")
server_port=$(free_port)
"$server" --port "$server_port" --data-dir "$work/server" --app-token "$token" --no-dns >"$work/server.log" &
server_pid=$!
pids+=("$server_pid")
wait_for "http://127.0.0.1:$bare_port/api/v3/category"
wait_for "http://127.0.0.1:$server_port/api/v3/category"

# One account with 100 sites, as the blacklist page shows them.
api="http://127.0.0.1:$server_port/api/v3"
user_token=$(curl -s -H "Authorization: Bearer $token" \
    -d 'email=bench%40example.org&password=correct%20horse&device_name=Desk&social_media=0&profile_id=0' \
    "$api/signup" | python3 -c 'import json, sys; print(json.load(sys.stdin)["data"]["token"])')
for i in $(seq 100); do
    curl -s -o /dev/null -H "Authorization: Bearer $user_token" -d "domain=site$i.example.org" "$api/blockwesitebyuser"
done

cat >"$work/sync.lua" <<LUA
wrk.method = "POST"
wrk.body = "platform_unique_id=bench-desk"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Authorization"] = "Bearer $user_token"
LUA
cat >"$work/page.lua" <<LUA
wrk.method = "POST"
wrk.body = "user_id="
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Authorization"] = "Bearer $user_token"
LUA
cat >"$work/login.lua" <<LUA
wrk.method = "POST"
wrk.body = "email=bench%40example.org&password=correct%20horse&social_media=0"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Authorization"] = "Bearer $token"
LUA

# measure PID URL [SCRIPT] [CONNECTIONS] [TOKEN]: one wrk run; prints "req/s p50 p99 cpu-us-per-request".
measure() {
    local pid=$1 url=$2 script=${3:-} clients=${4:-$connections} bearer=${5:-$token}
    local threads=$((clients < 2 ? 1 : 2))
    local args=(-t"$threads" -c"$clients" -d"${seconds}s" --latency -H "Authorization: Bearer $bearer"
        -H "X-localization: en")
    [ -n "$script" ] && args+=(-s "$script")
    local before after out
    before=$(cpu_ticks "$pid")
    out=$(wrk "${args[@]}" "$url")
    after=$(cpu_ticks "$pid")
    awk -v ticks=$((after - before)) -v hz="$ticks_per_second" '
        /requests in/ { requests = $1 }
        /Requests\/sec/ { rate = $2 }
        $1 == "50%" { p50 = $2 }
        $1 == "99%" { p99 = $2 }
        END { printf "%10.0f %9s %9s %9.1f\n", rate, p50, p99, requests ? ticks * 1e6 / hz / requests : 0 }
    ' <<<"$out"
}

bare_rate=0
row() { # scenario program measurement
    local rate ratio=""
    rate=$(awk '{ print $1 }' <<<"$3")
    if [ "$2" = "bare Qt" ]; then
        bare_rate=$rate
    elif [ "$bare_rate" != 0 ]; then
        ratio=$(awk -v a="$rate" -v b="$bare_rate" 'BEGIN { printf "%.2fx", a / b }')
    fi
    printf "%-44s %-10s %s %7s\n" "$1" "$2" "$3" "$ratio"
}
# pair SCENARIO BARE-PATH NIMBREL-PATH [SCRIPT] [TOKEN]: the bare program, then nimbrel, back to back.
pair() {
    row "$1" "bare Qt" "$(measure "$bare_pid" "http://127.0.0.1:$bare_port/api/v3/$2" "${4:-}" "$connections" "${5:-$token}")"
    row "$1" "nimbrel" "$(measure "$server_pid" "$api/$3" "${4:-}" "$connections" "${5:-$token}")"
}
echo "wrk: 2 threads, $connections connections (unless said), ${seconds} s a line; CPU: the server process's"
echo "user + system time over the requests wrk counted; ratio: nimbrel's req/s over the bare line above"
for run in 1 2; do
    echo
    echo "run $run"
    printf "%-44s %-10s %10s %9s %9s %9s %7s\n" "scenario" "program" "req/s" "p50" "p99" "CPU µs/req" "ratio"
    pair "GET category, user token" category category "" "$user_token"
    pair "GET category, application token" category category
    pair "POST sync-url, user token" sync-url sync-url "$work/sync.lua"
    pair "POST blacklist page (100 rows), user token" "getblockwebsitebyuser?page=1" \
        "getblockwebsitebyuser?page=1" "$work/page.lua"
    bare_rate=0
    # One client reading while ten sign in all the time (Argon2id on the password workers);
    # CPU per request here counts the sign-ins too.
    row "GET category, 1 client, alone" "nimbrel" "$(measure "$server_pid" "$api/category" "" 1)"
    wrk -t1 -c10 -d"$((seconds + 1))s" -s "$work/login.lua" "$api/login" >"$work/login.out" &
    signers=$!
    sleep 0.5
    row "GET category, 1 client, 10 signing in" "nimbrel" "$(measure "$server_pid" "$api/category" "" 1)"
    wait "$signers"
    echo "  (sign-in requests meanwhile: $(awk '/requests in/ { print $1 }' "$work/login.out"), refused as busy or answered)"
done
