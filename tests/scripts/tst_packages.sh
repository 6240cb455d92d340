#!/bin/sh
# The package lists behind `make run` and `make test`: running never installs a database
# server or a test peer, and the install script installs exactly the lists asked for, saying
# what to do when it needs root and there is no sudo.
#   tst_packages.sh <repository root>
set -eu
root=$1
run="$root/scripts/packages/run.txt"
test="$root/scripts/packages/test.txt"
package="$root/scripts/packages/package.txt"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
names() { sed -e 's/#.*//' "$@" | tr -s ' \t\n' '\n' | sed '/^$/d' | sort; }

bad=$(names "$run" | grep -E '^(postgresql|mariadb|mysql|redis|mongodb|dnsmasq|dnsperf)' || true)
[ -z "$bad" ] || fail "run.txt holds what only the tests need: $bad"
both=$(names "$run" "$package" "$test" | uniq -d)
[ -z "$both" ] || fail "listed twice: $both"

# A machine where nothing is installed yet, as a user without root: fake dpkg-query, id and apt-get.
mkdir -p "$tmp/bin" "$tmp/nosudo"
printf '#!/bin/sh\nexit 1\n' > "$tmp/bin/dpkg-query"
printf '#!/bin/sh\necho 1000\n' > "$tmp/bin/id"
printf '#!/bin/sh\n[ "$1" = install ] && shift 4 && echo "$@" > "%s/installed"\nexit 0\n' "$tmp" > "$tmp/bin/apt-get"
printf '#!/bin/sh\nexec "$@"\n' > "$tmp/bin/sudo"
chmod +x "$tmp"/bin/*
for tool in sh sed tr grep dirname env cat; do ln -s "$(command -v "$tool")" "$tmp/nosudo/$tool"; done
for tool in dpkg-query id apt-get; do ln -s "$tmp/bin/$tool" "$tmp/nosudo/$tool"; done

if PATH="$tmp/nosudo" sh "$root/scripts/install-deps.sh" run > "$tmp/out" 2>&1; then
    fail "succeeded without root and without sudo"
fi
grep -q "su -c 'apt-get update && apt-get install" "$tmp/out" || fail "no advice without sudo: $(cat "$tmp/out")"
[ ! -e "$tmp/installed" ] || fail "installed something without root"

for list in run package test; do
    rm -f "$tmp/installed"
    PATH="$tmp/bin:$PATH" sh "$root/scripts/install-deps.sh" "$list" > "$tmp/out" 2>&1 || fail "install-deps $list: $(cat "$tmp/out")"
    case $list in
    run) expected=$(names "$run") ;;
    package) expected=$(names "$run" "$package") ;;
    test) expected=$(names "$run" "$package" "$test") ;;
    esac
    got=$(tr ' ' '\n' < "$tmp/installed" | sed '/^$/d' | sort)
    [ "$got" = "$expected" ] || fail "install-deps $list installed: $got"
done
echo "1 passed, 0 failed"
