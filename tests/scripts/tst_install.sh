#!/bin/sh
# What `cmake --install` lays out and what `make package` builds from it: the tree, the desktop
# entry, the AppStream data, the service unit, the server running as nobody with only the
# capability the unit gives it, and both Debian packages (their fields, contents and lintian).
#   tst_install.sh <build folder>
set -eu
build=$1
tmp=$(mktemp -d)
chmod 755 "$tmp" # the server runs as nobody below, with its state in here
cleanup() {
    [ ! -s "$tmp/pid" ] || kill "$(cat "$tmp/pid")" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "skipped: $*"; }
have() { command -v "$1" >/dev/null 2>&1; }

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
    echo "skipped: this build installs under $prefix; the layout and the packages are checked for /usr"
    exit 77
fi
dest="$tmp/root"
DESTDIR="$dest" cmake --install "$build" > "$tmp/install.log" || fail "cmake --install: $(cat "$tmp/install.log")"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
expected="etc/default/nimbrel-server
usr/bin/nimbrel
usr/bin/nimbrel-server
usr/$libdir/nimbrel/libnimbrel-desktop.so
usr/$libdir/nimbrel/libnimbrel-dnswire.so
usr/$libdir/nimbrel/libnimbrel-web.so
usr/lib/systemd/system/nimbrel-server.service
usr/share/applications/com.mac.nimbrel.desktop
usr/share/doc/nimbrel-server/README.md
usr/share/doc/nimbrel-server/changelog.Debian.gz
usr/share/doc/nimbrel-server/copyright
usr/share/doc/nimbrel-server/examples/nimbrel-proxy.conf
usr/share/doc/nimbrel-server/examples/nimbrel-server.conf
usr/share/doc/nimbrel/changelog.Debian.gz
usr/share/doc/nimbrel/copyright
usr/share/icons/hicolor/scalable/apps/nimbrel.svg
usr/share/metainfo/com.mac.nimbrel.metainfo.xml
usr/share/polkit-1/rules.d/50-nimbrel-resolved.rules"
expected=$(printf '%s\n' "$expected" | sort)
got=$(cd "$dest" && find . -type f | sed 's|^\./||' | sort)
[ "$got" = "$expected" ] || fail "installed tree differs:
$(printf '%s\n' "$expected" > "$tmp/e"; printf '%s\n' "$got" | diff "$tmp/e" - || true)"

entry="$dest/usr/share/applications/com.mac.nimbrel.desktop"
grep -qx 'Exec=/usr/bin/nimbrel' "$entry" || fail "the menu entry does not start the installed app"
grep -qx 'StartupWMClass=nimbrel' "$entry" || fail "no StartupWMClass"
if have desktop-file-validate; then desktop-file-validate "$entry" || fail "desktop entry"; else skip "desktop-file-validate (desktop-file-utils)"; fi
if have appstreamcli; then
    appstreamcli validate --no-net "$dest/usr/share/metainfo/com.mac.nimbrel.metainfo.xml" || fail "AppStream data"
else skip "appstreamcli (appstream)"; fi
# verify wants the program where the unit says; the copy points into the install folder.
unit="$tmp/nimbrel-server.service"
sed "s|/usr/bin/nimbrel-server|$dest/usr/bin/nimbrel-server|" "$dest/usr/lib/systemd/system/nimbrel-server.service" > "$unit"
if have systemd-analyze; then systemd-analyze verify "$unit" || fail "service unit"; else skip "systemd-analyze (systemd)"; fi
grep -qx 'AmbientCapabilities=CAP_NET_BIND_SERVICE' "$unit" || fail "the unit does not give port 53"
grep -qx 'DynamicUser=yes' "$unit" || fail "the unit runs as root"

# The server as the unit runs it: nobody, with CAP_NET_BIND_SERVICE alone, the options file's
# options, in a network namespace of its own so port 53 is ours.
if [ "$(id -u)" = 0 ] && have setpriv && unshare -n true 2>/dev/null; then
    NIMBREL_SERVER_OPTIONS=""
    . "$dest/etc/default/nimbrel-server"
    mkdir -m 700 "$tmp/state" && chown 65534:65534 "$tmp/state"
    # shellcheck disable=SC2086
    unshare -n sh -c "ip link set lo up; exec setpriv --reuid=65534 --regid=65534 --clear-groups \
        --inh-caps=-all,+net_bind_service --ambient-caps=-all,+net_bind_service --bounding-set=-all,+net_bind_service \
        \"$dest/usr/bin/nimbrel-server\" $(echo "$NIMBREL_SERVER_OPTIONS" | sed "s|/var/lib/nimbrel-server|$tmp/state|") \
        > \"$tmp/server.log\" 2>&1 & echo \$! > \"$tmp/pid\"; wait" &
    tries=0
    until grep -q "^DNS " "$tmp/server.log" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || fail "server did not report its DNS: $(cat "$tmp/server.log")"
        sleep 0.1
    done
    grep -q "^DNS listening on 127.0.0.1 port 53 " "$tmp/server.log" || fail "DNS not on port 53: $(cat "$tmp/server.log")"
    user=$(ps -o user= -p "$(cat "$tmp/pid")" | tr -d ' ')
    [ "$user" = nobody ] || [ "$user" = 65534 ] || fail "server runs as $user"
    kill "$(cat "$tmp/pid")"
else
    skip "the server as nobody with the capability (needs root, setpriv, network namespaces)"
fi

# The packages.
have dpkg-shlibdeps && have file || { skip "packages (dpkg-dev, file)"; exit 0; }
(cd "$build" && cpack -G DEB -B "$tmp/packages" > "$tmp/cpack.log" 2>&1) || fail "cpack: $(cat "$tmp/cpack.log")"
app=$(ls "$tmp"/packages/nimbrel_*.deb)
server=$(ls "$tmp"/packages/nimbrel-server_*.deb)
field() { dpkg-deb --field "$1" "$2"; }
field "$app" Depends | grep -q 'libqt6webenginewidgets6' || fail "app: QtWebEngine missing from Depends"
field "$app" Depends | grep -q 'qt6-qpa-plugins' || fail "app: platform plugins missing from Depends"
field "$server" Depends | grep -q 'libqt6sql6-sqlite' || fail "server: SQLite driver missing from Depends"
field "$server" Depends | grep -q 'libunbound8' || fail "server: computed Depends missing"
dpkg-deb --contents "$app" | grep -q ' ./usr/share/polkit-1/rules.d/50-nimbrel-resolved.rules$' || fail "app: no polkit rule"
dpkg-deb --contents "$server" | grep -q ' ./usr/share/doc/nimbrel-server/examples/nimbrel-server.conf$' || fail "server: no proxy example"
dpkg-deb --contents "$app" | grep -q 'nimbrel-server' && fail "the app package holds server files"
# The app's uninstall removes exactly what its package installs, nothing more, nothing less.
removes=$(sed -n 's/.*installedPaths\[\] = "\(.*\)";.*/\1/p' "$build/generated/BuildConfig.h" | tr ';' '\n' | sort)
holds=$(dpkg-deb --contents "$app" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\.||' | sort)
[ "$removes" = "$holds" ] || fail "uninstall and package differ: $(echo "$removes" > "$tmp/r"; echo "$holds" | diff "$tmp/r" - || true)"
dpkg-deb --ctrl-tarfile "$server" | tar -xO ./conffiles | grep -qx /etc/default/nimbrel-server || fail "options file is not a conffile"
dpkg-deb -x "$app" "$tmp/x"
file "$tmp/x/usr/bin/nimbrel" | grep -q 'not stripped' && fail "app binary not stripped"
if have lintian; then
    lintian --tag-display-limit 0 "$app" "$server" > "$tmp/lintian" 2>&1 || true
    grep '^E:' "$tmp/lintian" && fail "lintian errors"
    cat "$tmp/lintian"
else skip "lintian"; fi
echo "install tree, validators, server as nobody, packages: passed"
