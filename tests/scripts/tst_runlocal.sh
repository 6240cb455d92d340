#!/bin/sh
# `make run`'s script keeps the local server up while any copy of the app runs: a second copy
# takes over from the first, and the server stops only when the last copy has ended. Not run
# as root, it asks sudo to give the server the capability for port 53 only when the binary
# lacks it (a rebuild dropped it).
#   tst_runlocal.sh <repository root> <stand-in app executable>
set -eu
root=$1
standin=$2
tmp=$(mktemp -d)
runner=""
cleanup() {
    [ -z "$runner" ] || kill "$runner" 2>/dev/null || true
    for f in "$tmp"/*.pid; do
        [ ! -f "$f" ] || kill "$(cat "$f")" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- script output:"; cat "$tmp/out.log"; exit 1; }
# Waits up to 10 s for a shell condition.
wait_for() {
    i=0
    until eval "$1"; do
        i=$((i + 1))
        [ "$i" -gt 100 ] && fail "timed out waiting for: $1"
        sleep 0.1
    done
}
alive() { kill -0 "$1" 2>/dev/null; }

mkdir -p "$tmp/build/bin"
ln -s "$standin" "$tmp/build/bin/nimbrel"
cat > "$tmp/build/bin/nimbrel-server" <<'SERVER'
#!/bin/sh
echo $$ > "$NIMBREL_STANDIN_STATE/server.pid"
echo "nimbrel-server: listening on 127.0.0.1:8787"
echo "$*" > "$NIMBREL_STANDIN_STATE/server.args"
echo "DNS listening on 127.0.0.1 port 53 (UDP and TCP)"
exec sleep 600
SERVER
chmod +x "$tmp/build/bin/nimbrel-server"

export NIMBREL_STANDIN_STATE="$tmp"
DISPLAY=:nimbrel-test sh "$root/scripts/run-local.sh" "$tmp/build" > "$tmp/out.log" 2>&1 &
runner=$!

wait_for '[ -s "$tmp/app.pid" ] && [ -s "$tmp/server.pid" ]'
first=$(cat "$tmp/app.pid")
server=$(cat "$tmp/server.pid")

"$tmp/build/bin/nimbrel" &
second=$!
wait_for '! alive "$first"'
# The script polls once a second: give it three chances to stop the server by mistake.
i=0
while [ "$i" -lt 30 ]; do
    alive "$server" || fail "the server stopped although the second copy of the app runs"
    alive "$runner" || fail "the script ended although the second copy of the app runs"
    sleep 0.1
    i=$((i + 1))
done

kill "$second"
wait "$second" || true
wait_for '! alive "$server"'
status=0
wait "$runner" || status=$?
runner=""
[ "$status" -eq 0 ] || fail "the script ended with status $status"
grep -q "nimbrel-server stopped." "$tmp/out.log" || fail "no word that the server stopped"
grep -q -- "--dns-listen 127.0.0.1 --dns-port 53" "$tmp/server.args" || fail "DNS not asked on 127.0.0.1:53"

# As a user: getcap says whether the binary has the capability, sudo records what it was asked.
mkdir -p "$tmp/fake"
printf '#!/bin/sh
echo 1000
' > "$tmp/fake/id"
printf '#!/bin/sh
[ -f "%s/hascap" ] && echo "$1 cap_net_bind_service=ep"
exit 0
' "$tmp" > "$tmp/fake/getcap"
printf '#!/bin/sh
exit 0
' > "$tmp/fake/setcap"
printf '#!/bin/sh
echo "$*" >> "%s/sudo.log"
' "$tmp" > "$tmp/fake/sudo"
chmod +x "$tmp"/fake/*
for binary in rebuilt unchanged; do
    rm -f "$tmp/app.pid" "$tmp/sudo.log"
    [ "$binary" = unchanged ] && touch "$tmp/hascap"
    PATH="$tmp/fake:$PATH" DISPLAY=:nimbrel-test sh "$root/scripts/run-local.sh" "$tmp/build" > "$tmp/out.log" 2>&1 &
    runner=$!
    wait_for '[ -s "$tmp/app.pid" ]'
    kill "$(cat "$tmp/app.pid")"
    wait "$runner" || true
    runner=""
    if [ "$binary" = rebuilt ]; then
        grep -q "setcap cap_net_bind_service=+ep $tmp/build/bin/nimbrel-server" "$tmp/sudo.log" 2>/dev/null ||
            fail "sudo setcap not asked for a binary without the capability"
        grep -q "drops" "$tmp/out.log" || fail "no word why sudo is asked"
    else
        [ ! -e "$tmp/sudo.log" ] || fail "sudo asked although the binary has the capability: $(cat "$tmp/sudo.log")"
    fi
done

# An app that ends abnormally: the script says how and where its log is, before the server stops.
for end in abort 3; do
    rm -f "$tmp/app.pid"
    status=0
    NIMBREL_STANDIN_END=$end DISPLAY=:nimbrel-test sh "$root/scripts/run-local.sh" "$tmp/build" > "$tmp/out.log" 2>&1 ||
        status=$?
    [ "$status" -ne 0 ] || fail "the script reported success for an app that ended with $end"
    case $end in
    abort) said="killed by signal 6 (SIGABRT)" ;;
    *) said="exit code $end" ;;
    esac
    grep -q "nimbrel ended abnormally: $said. Its log: $tmp/build/server-data/app.log" "$tmp/out.log" ||
        fail "no word how the app ended ($end)"
    [ "$(grep -n -e "ended abnormally" -e "nimbrel-server stopped." "$tmp/out.log" | cut -d: -f2- |
        sed 's/ .*//' | tr '\n' ' ')" = "nimbrel nimbrel-server " ] || fail "the server stopped before the app's end was reported"
done
echo "3 passed, 0 failed"
