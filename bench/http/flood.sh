#!/usr/bin/env bash
# Sign-in flood, run by hand: 16 clients send sign-ups and wrong sign-ins to nimbrel-server
# (real password hashing, workers at their defaults) from 1,000 loopback addresses, a new one
# each request, while the owner signs in again and again from a computer the account knows.
# Goal: the owner's sign-ins succeed at least 95 % of the time.
# Usage: bench/http/flood.sh [BUILD_DIR] [OWNER_SIGN_INS]   defaults: build, 60
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../../build"}
signins=${2:-60}
server="$build/bin/nimbrel-server"
token=bench-app-token
[ -x "$server" ] || { echo "No $server: cmake --build $build --target nimbrel-server" >&2; exit 2; }
for tool in curl python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-flood-bench.XXXXXX")
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && { kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$server" --port "$port" --data-dir "$work/server" --app-token "$token" --no-dns >"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/api/v3/category" && break; sleep 0.1; done

python3 - "$port" "$token" "$signins" <<'PY'
import http.client, json, sys, threading, time, urllib.parse

port, app_token, signins = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
platform = "bench-owner-desk"

def post(path, fields, bearer, source="127.0.0.1"):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60, source_address=(source, 0))
    try:
        connection.request("POST", "/api/v3/" + path, urllib.parse.urlencode(fields),
                           {"Authorization": "Bearer " + bearer,
                            "Content-Type": "application/x-www-form-urlencoded"})
        return json.loads(connection.getresponse().read() or b"{}")
    except (OSError, ValueError):
        return {}
    finally:
        connection.close()

owner = {"email": "owner@example.org", "password": "correct horse battery"}
signed_up = post("signup", dict(owner, device_name="Desk", social_media=0, profile_id=0), app_token)
first = post("login", dict(owner, platform_unique_id=platform, social_media=0), signed_up["data"]["token"])
owner_token = first["data"]["token"]

stop = threading.Event()
counts = {"sent": 0, "busy": 0, "other": 0}
lock = threading.Lock()

def flood(client):
    n = client
    while not stop.is_set():
        address = "127.3.%d.%d" % (n % 1000 // 250, 1 + n % 1000 % 250)
        email = "flood%d-%d@example.org" % (client, n)
        path = "signup" if n % 2 else "login"
        answer = post(path, {"email": email, "password": "wrong horse battery"}, app_token, address)
        with lock:
            counts["sent"] += 1
            counts["busy" if "busy" in answer.get("msg", "") else "other"] += 1
        n += 16

threads = [threading.Thread(target=flood, args=(i,)) for i in range(16)]
for thread in threads:
    thread.start()
time.sleep(2)  # the queue fills before the owner starts
accepted, times = 0, []
for _ in range(signins):
    started = time.monotonic()
    answer = post("login", dict(owner, platform_unique_id=platform, social_media=0), owner_token)
    times.append(time.monotonic() - started)
    accepted += bool(answer.get("status"))
stop.set()
for thread in threads:
    thread.join()
times.sort()
print("%-34s %8s %8s %9s" % ("scenario", "result", "p50 s", "p99 s"))
print("%-34s %7.1f%% %8.2f %9.2f" % ("owner signs in (known computer)", 100.0 * accepted / signins,
                                     times[len(times) // 2], times[min(len(times) - 1, len(times) * 99 // 100)]))
print("%-34s %8d %8s %9s" % ("flood requests answered", counts["sent"], "", ""))
print("%-34s %7.1f%% %8s %9s" % ("of which 'try again in a moment'",
                                 100.0 * counts["busy"] / max(1, counts["sent"]), "", ""))
sys.exit(0 if accepted * 100 >= 95 * signins else 1)
PY
