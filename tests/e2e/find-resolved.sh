# Sourced by the sandbox scripts (which define skip): systemd-resolved for a sandbox.

# Sets resolved and resolvectl: the installed ones, or where this machine lacks them, the package
# unpacked below $RESOLVED_SANDBOX_ROOT (never installed: installing systemd-resolved would take
# over this machine's /etc/resolv.conf). The version is the installed systemd's, whose
# libsystemd-shared it links.
find_resolved() {
    resolved=/lib/systemd/systemd-resolved
    resolvectl=$(command -v resolvectl || :)
    [ ! -x "$resolved" ] || [ -z "$resolvectl" ] || return 0
    command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed (dpkg)"
    root=${RESOLVED_SANDBOX_ROOT:-}
    [ -n "$root" ] || skip "systemd-resolved is not installed, and RESOLVED_SANDBOX_ROOT names no place to unpack it"
    if [ ! -x "$root/lib/systemd/systemd-resolved" ]; then
        version=$(dpkg-query -W -f='${Version}' systemd 2>/dev/null) || skip "systemd is not installed"
        rm -rf "$root.part" && mkdir -p "$root.part"
        if ! (cd "$root.part" && apt-get download -q -o APT::Sandbox::User=root "systemd-resolved=$version") >"$root.part/log" 2>&1 \
            || ! dpkg-deb -x "$root.part"/systemd-resolved_*.deb "$root.part/root" 2>>"$root.part/log"; then
            skip "cannot fetch systemd-resolved $version: $(tail -n 1 "$root.part/log")"
        fi
        rm -rf "$root" && mv "$root.part/root" "$root" && rm -rf "$root.part"
    fi
    resolved=$root/lib/systemd/systemd-resolved
    resolvectl=$root/usr/bin/resolvectl
}

# Inside the namespaces: daemons start as root and drop to users of their own, which this
# machine may not have; this namespace's /etc/passwd gets them (with nobody's ids). $1: a folder
# on a tmpfs of the sandbox.
add_daemon_users() {
    dir=$1
    shift
    cp /etc/passwd "$dir/passwd"
    for user in "$@"; do
        getent passwd "$user" >/dev/null || echo "$user:x:65534:65534::/:/usr/sbin/nologin" >>"$dir/passwd"
    done
    mount --bind "$dir/passwd" /etc/passwd
}

# Inside the namespaces, once the private system bus runs: systemd-resolved in the background
# (its pid in resolved_pid), trusting only the certificate authorities put in $1 (hashed names,
# as openssl rehash makes them; read at each handshake, so a test can add its own later).
start_resolved() {
    mkdir -p "$1" /run/systemd
    SYSTEMD_LOG_LEVEL="${SYSTEMD_LOG_LEVEL:-warning}" SSL_CERT_DIR="$1" "$resolved" &
    resolved_pid=$!
}
