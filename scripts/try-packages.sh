#!/bin/sh
# Installs build/packages/*.deb on a fresh Debian 12 made with debootstrap and boots it with
# systemd-nspawn (its own network, so port 53 and the machine's DNS are left alone), then
# starts the server as a service and the app from its menu entry, as a user would, and prints
# what happened. Needs root, network access to the Debian mirror, debootstrap and
# systemd-container. Takes a few minutes; the container is kept in the folder given.
#   scripts/try-packages.sh [build folder] [container folder]
set -eu
build=${1:-build}
root=${2:-/var/tmp/nimbrel-fresh-debian}
[ "$(id -u)" = 0 ] || { echo "needs root"; exit 1; }
for tool in debootstrap systemd-nspawn; do
    command -v $tool >/dev/null || { echo "$tool is missing: apt-get install debootstrap systemd-container"; exit 1; }
done
ls "$build"/packages/nimbrel_*.deb "$build"/packages/nimbrel-server_*.deb >/dev/null

if [ ! -x "$root/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,ca-certificates bookworm "$root" \
        http://deb.debian.org/debian
fi
cp "$build"/packages/nimbrel_*.deb "$build"/packages/nimbrel-server_*.deb "$root/tmp/"
# Installing runs no service in the chroot; the boot below starts what it needs.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
chroot "$root" sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    /tmp/nimbrel_*.deb /tmp/nimbrel-server_*.deb xvfb xauth xdotool x11-utils curl ldnsutils procps' >/dev/null \
    || { umount "$root/proc"; exit 1; }
umount "$root/proc"
rm -f "$root/usr/sbin/policy-rc.d"

cat > "$root/root/check.sh" <<'CHECK'
#!/bin/sh
exec > /root/result 2>&1
systemctl start nimbrel-server && sleep 3
echo "== service: $(systemctl is-active nimbrel-server)"
pid=$(pidof nimbrel-server)
ps -o user=,cmd= -p "$pid"
grep -E "^(Uid|CapEff)" /proc/"$pid"/status
curl -s -o /dev/null -w "HTTP %{http_code} for the FAQ page\n" http://127.0.0.1:8787/faq
drill @127.0.0.1 a1.probe.nimbrel.test TXT | grep -A1 "ANSWER SECTION"
journalctl -u nimbrel-server --no-pager -o cat | tail -3
echo "== the menu entry, started as a user"
id ada >/dev/null 2>&1 || useradd -m ada
Xvfb :5 -screen 0 1280x800x24 >/dev/null 2>&1 &
sleep 2
su ada -c "DISPLAY=:5 $(sed -n 's/^Exec=//p' /usr/share/applications/com.mac.nimbrel.desktop) >/dev/null 2>&1 &"
sleep 8
DISPLAY=:5 xdotool search --class nimbrel | while read -r w; do DISPLAY=:5 xprop -id "$w" WM_CLASS WM_NAME; done
ps -o user=,cmd= -C nimbrel
ls /home/ada/.config/autostart /home/ada/.config/systemd/user
systemctl poweroff
CHECK
chmod +x "$root/root/check.sh"
cat > "$root/etc/systemd/system/nimbrel-check.service" <<'UNIT'
[Unit]
After=multi-user.target
[Service]
Type=oneshot
ExecStart=/root/check.sh
[Install]
WantedBy=multi-user.target
UNIT
mkdir -p "$root/etc/systemd/system/multi-user.target.wants"
ln -sf /etc/systemd/system/nimbrel-check.service "$root/etc/systemd/system/multi-user.target.wants/"
rm -f "$root/root/result"
timeout 300 systemd-nspawn -q -D "$root" -b --private-network --register=no --keep-unit --console=pipe >/dev/null 2>&1 || true
cat "$root/root/result"
