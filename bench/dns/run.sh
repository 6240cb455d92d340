#!/usr/bin/env bash
# DNS benchmark, run by hand: nimbrel-server's filtering DNS and dnsmasq side by side, on
# loopback, with the same block list of NAMES names (a hosts file for dnsmasq, a category list
# for nimbrel-server). Both forward allowed names to a third process, a dnsmasq that answers
# every name under test. itself.
# nimbrel-server also serves DNS over TLS (a certificate of a CA made here): one client of its
# own (nimbrel_bench_dot_load) puts the same queries through plain UDP and through kept-alive DoT
# connections in one run, and makes TLS handshakes one after another.
# Usage: bench/dns/run.sh [BUILD_DIR] [NAMES] [SECONDS]   defaults: build, 1000000, 5
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../../build"}
names=${2:-1000000}
seconds=${3:-5}
server="$build/bin/nimbrel-server"
token=bench-app-token

[ -x "$server" ] || { echo "No server at $server: build nimbrel-server first" >&2; exit 2; }
dot_load="$build/bin/nimbrel_bench_dot_load"
[ -x "$dot_load" ] || { echo "No $dot_load: build nimbrel_bench_dot_load first" >&2; exit 2; }
for tool in dnsmasq dnsperf drill curl python3 openssl; do
    command -v "$tool" >/dev/null || PATH="$PATH:/usr/sbin:/sbin"
    command -v "$tool" >/dev/null || { echo "$tool is missing (make test installs dnsmasq-base, dnsperf, ldnsutils)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-dns-bench.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_port() { python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
now_ms() { date +%s%3N; }
user_flag=()
[ "$(id -u)" -eq 0 ] && user_flag=(--user=root)

dnsmasq_start() { # port, extra arguments...; sets $started
    local port=$1
    shift
    dnsmasq -k --conf-file=/dev/null --port="$port" --listen-address=127.0.0.1 --bind-interfaces \
        --no-resolv --no-hosts --pid-file= "${user_flag[@]}" "$@" >>"$work/dnsmasq-$port.log" 2>&1 &
    started=$!
    pids+=("$started")
}

wait_answer() { # port name: until the server answers (up to 60 s)
    local _
    for _ in $(seq 600); do
        drill -p "$1" @127.0.0.1 "$2" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "no answer from port $1" >&2
    exit 1
}

rcode() { drill -p "$1" @127.0.0.1 "$2" 2>/dev/null | awk '/rcode:/ { gsub(",", "", $6); print $6; exit }'; }
first_a() { drill -p "$1" @127.0.0.1 "$2" 2>/dev/null | awk '/^;; ANSWER SECTION/ { getline; print $5; exit }'; }

qps() { awk '/Queries per second:/ { printf "%.0f", $4 }' "$1"; }
lost() { awk '/Queries lost:/ { print $3 }' "$1"; }

echo "Writing a block list of $names names..."
awk -v n="$names" 'BEGIN { for (i = 1; i <= n; i++) printf "0.0.0.0 b%d.blocked.test\n", i }' >"$work/hosts"
mkdir -p "$work/lists"
cp "$work/hosts" "$work/lists/1.txt" # category 1
: >"$work/empty-hosts"
awk -v n="$names" 'BEGIN { srand(7); for (i = 0; i < 100000; i++) printf "b%d.blocked.test A\n", 1 + int(rand() * n) }' >"$work/q-blocked"
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "a%d.allowed.test A\n", i % 200 }' >"$work/q-allowed"

# A CA of this run's own and a certificate for *.bench.test that it signed.
zone=bench.test
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -subj "/CN=Nimbrel bench CA" -days 2 -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req "${ec[@]}" -subj "/CN=*.$zone" -keyout "$work/dot.key" -out "$work/dot.csr" 2>/dev/null
printf 'subjectAltName=DNS:*.%s\nextendedKeyUsage=serverAuth\n' "$zone" >"$work/leaf.ext"
openssl x509 -req -in "$work/dot.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
    -extfile "$work/leaf.ext" -out "$work/dot.pem" 2>/dev/null

upstream=$(free_port)
dnsmasq_start "$upstream" --address=/test/192.0.2.10 --local-ttl=3600
wait_answer "$upstream" ready.test

# nimbrel-server: first without the list for the baseline memory, then with it.
start_server() { # extra arguments...; sets $started and $dns
    local data="$work/server-$RANDOM"
    : >"$data.log" # the loop below may read it before the server's shell has opened it
    "$server" --port 0 --data-dir "$data" --app-token "$token" --hash-passes 1 --hash-memory 8 \
        --dns-port 0 --dns-upstream "127.0.0.1:$upstream" "$@" >"$data.log" 2>&1 &
    started=$!
    pids+=("$started")
    for _ in $(seq 1200); do
        dns=$(sed -n 's/^DNS listening on .* port \([0-9]*\) .*/\1/p' "$data.log")
        [ -n "$dns" ] && break
        kill -0 "$started" 2>/dev/null || { cat "$data.log" >&2; exit 1; }
        sleep 0.1
    done
    [ -n "$dns" ] || { echo "nimbrel-server did not start DNS" >&2; exit 1; }
    http=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$data.log")
    dot=$(sed -n 's/^DNS over TLS listening on .* port \([0-9]*\) .*/\1/p' "$data.log")
    log="$data.log"
}
post() { curl -s -X POST -H "Authorization: Bearer $2" --data "$3" "http://127.0.0.1:$http/api/v3/$1"; }

start_server
sleep 1
base_rss=$(rss_kb "$started")
kill "$started"

t0=$(now_ms)
start_server --category-lists "$work/lists" --dot-zone "$zone" --dot-port 0 --dot-cert "$work/dot.pem" \
    --dot-key "$work/dot.key"
[ -n "$dot" ] || { echo "nimbrel-server did not start DNS over TLS" >&2; exit 1; }
nimbrel=$started
nimbrel_dns=$dns
load_ms=$(($(now_ms) - t0))
user_token=$(post signup "$token" "email=bench%40example.org&password=benchmark-pass&device_name=bench" |
    sed -n 's/.*"token":"\([^"]*\)".*/\1/p')
dot_host=$(post sync-url "$user_token" "platform_unique_id=bench" | sed -n 's/.*"dot_host":"\([^"]*\)".*/\1/p')
[ -n "$dot_host" ] || { echo "the account status gave no DNS over TLS name" >&2; exit 1; }
post blockcategory "$user_token" "category_id=1" >/dev/null
for _ in $(seq 50); do [ "$(rcode "$nimbrel_dns" b1.blocked.test)" = NXDOMAIN ] && break; sleep 0.1; done
[ "$(rcode "$nimbrel_dns" b1.blocked.test)" = NXDOMAIN ] || { echo "the category is not applied" >&2; exit 1; }
sleep 1
nimbrel_rss=$(rss_kb "$nimbrel")

# dnsmasq: the same, with the list as a hosts file.
dm_port=$(free_port)
dnsmasq_start "$dm_port" --server="127.0.0.1#$upstream" --cache-size=10000
wait_answer "$dm_port" ready.test
sleep 1
dm_base_rss=$(rss_kb "$started")
kill "$started"
dm_port=$(free_port)
t0=$(now_ms)
dnsmasq_start "$dm_port" --server="127.0.0.1#$upstream" --cache-size=10000 --addn-hosts="$work/hosts"
dnsmasq=$started
wait_answer "$dm_port" ready.test
dm_load_ms=$(($(now_ms) - t0))
[ "$(first_a "$dm_port" b1.blocked.test)" = 0.0.0.0 ] || { echo "dnsmasq did not load the list" >&2; exit 1; }
sleep 1
dm_rss=$(rss_kb "$dnsmasq")

perf() { # port queryfile output
    dnsperf -s 127.0.0.1 -p "$1" -d "$2" -l "$seconds" -c 1 -q 200 -t 2 >"$3" 2>&1 || true
}
echo "Blocked names, $seconds s each..."
perf "$nimbrel_dns" "$work/q-blocked" "$work/n-blocked"
perf "$dm_port" "$work/q-blocked" "$work/d-blocked"
echo "Cached allowed names, $seconds s each..."
dnsperf -s 127.0.0.1 -p "$nimbrel_dns" -d "$work/q-allowed" -n 1 -c 1 -q 50 >/dev/null 2>&1 || true # fill the caches
dnsperf -s 127.0.0.1 -p "$dm_port" -d "$work/q-allowed" -n 1 -c 1 -q 50 >/dev/null 2>&1 || true
perf "$nimbrel_dns" "$work/q-allowed" "$work/n-allowed"
perf "$dm_port" "$work/q-allowed" "$work/d-allowed"

echo "Plain UDP and DNS over TLS from one client, $seconds s each, then TLS handshakes..."
"$dot_load" "$nimbrel_dns" "$dot" "$dot_host" "$work/ca.pem" "$work/q-allowed" "$seconds" 4 50 >"$work/n-dot" 2>&1 || true
dot_value() { awk -v k="$1" '$1 == k { print $2 }' "$work/n-dot"; }
dot_ratio=$(awk -v d="$(dot_value dot)" -v u="$(dot_value udp)" 'BEGIN { if (u > 0) printf "%.2f", d / u; else print "-" }')

# Changing the list under load: nimbrel-server unblocks the category, dnsmasq re-reads an empty
# hosts file (SIGHUP). Time from the change until a listed name is no longer blocked; dnsperf
# counts the queries lost meanwhile (rate-limited, so a pause shows as loss, not as lower qps).
apply_change() { # port, load-output, change command...; sets $apply_ms
    local port=$1 out=$2 load
    shift 2
    dnsperf -s 127.0.0.1 -p "$port" -d "$work/q-blocked" -l 6 -c 1 -Q 10000 -t 2 >"$out" 2>&1 &
    load=$!
    sleep 2
    local t
    t=$(now_ms)
    "$@"
    for _ in $(seq 1000); do
        [ "$(rcode "$port" b1.blocked.test)" = NOERROR ] && [ "$(first_a "$port" b1.blocked.test)" != 0.0.0.0 ] && break
        sleep 0.005
    done
    apply_ms=$(($(now_ms) - t))
    wait "$load" || true
}
unblock() { post unblockcategory "$user_token" "category_id=1" >/dev/null; }
reload_dnsmasq() { cp "$work/empty-hosts" "$work/hosts"; kill -HUP "$dnsmasq"; }
apply_change "$nimbrel_dns" "$work/n-change" unblock
n_apply=$apply_ms
apply_change "$dm_port" "$work/d-change" reload_dnsmasq
d_apply=$apply_ms

per_name() { awk -v a="$1" -v b="$2" -v n="$names" 'BEGIN { printf "%.1f", (a - b) * 1024 / n }'; }
echo
printf '%-48s %14s %14s %10s\n' "" "nimbrel-server" "dnsmasq" "goal"
printf '%-48s %14s %14s %10s\n' "blocked names (queries/s)" "$(qps "$work/n-blocked")" "$(qps "$work/d-blocked")" ">= dnsmasq"
printf '%-48s %14s %14s %10s\n' "cached allowed names (queries/s)" "$(qps "$work/n-allowed")" "$(qps "$work/d-allowed")" ">= dnsmasq"
printf '%-48s %14s %14s %10s\n' "resident bytes per listed name" "$(per_name "$nimbrel_rss" "$base_rss")" "$(per_name "$dm_rss" "$dm_base_rss")" "<= 16"
printf '%-48s %14s %14s %10s\n' "start-up with the list (ms)" "$load_ms" "$dm_load_ms" "-"
printf '%-48s %14s %14s %10s\n' "time to apply a $names-name change (ms)" "$n_apply" "$d_apply" "<= 1000"
printf '%-48s %14s %14s %10s\n' "queries lost during the change" "$(lost "$work/n-change")" "$(lost "$work/d-change")" "0"
printf '%-48s %14s %14s %10s\n' "DoT, 4 kept-alive connections (queries/s)" "$(dot_value dot)" "-" ">= 0.5x UDP"
printf '%-48s %14s %14s %10s\n' "plain UDP, same client (queries/s)" "$(dot_value udp)" "-" "-"
printf '%-48s %14s %14s %10s\n' "DoT / UDP" "$dot_ratio" "-" ">= 0.5"
printf '%-48s %14s %14s %10s\n' "TLS handshakes per second, one at a time" "$(dot_value handshakes)" "-" "-"
grep -v '^[a-z]* [0-9]*$' "$work/n-dot" >&2 || true
echo "(lost queries in the plain runs: nimbrel-server $(lost "$work/n-blocked")/$(lost "$work/n-allowed"), dnsmasq $(lost "$work/d-blocked")/$(lost "$work/d-allowed"); policy rebuilds: $(grep -c 'policy for' "$log"))"
