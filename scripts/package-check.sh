#!/bin/sh
# Installs the Debian package on a clean Debian 12 root file system, the way a user would
# (`apt install ./rolvek_*.deb`, which pulls the dependencies from the Debian mirror), then runs
# the three programs there. Needs root, debootstrap and the Debian mirror; slow the first time
# (the base system is made once and kept in <cache dir>, each check works on a fresh copy).
#
#   package-check.sh <rolvek_*.deb> <cache dir>
set -eu
deb=$(readlink -f "$1")
cache=$2
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "the chroot check needs root"
command -v debootstrap >/dev/null || fail "debootstrap is missing (apt-get install debootstrap)"

base="$cache/bookworm-base"
if [ ! -x "$base/usr/bin/apt-get" ]; then
    rm -rf "$base"
    mkdir -p "$cache"
    echo "making a Debian 12 base system in $base (once)"
    debootstrap --variant=minbase bookworm "$base" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        { tail -n 20 "$cache/debootstrap.log"; fail "debootstrap failed"; }
fi

root=$(mktemp -d "$cache/root.XXXXXX")
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
mount -t proc proc "$root/proc"

in_root() { chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

echo "== apt install ./$(basename "$deb") on a clean Debian 12"
in_root apt-get update -q >/dev/null
in_root apt-get install -y -q "/tmp/$(basename "$deb")" >"$cache/apt-install.log" 2>&1 ||
    { tail -n 30 "$cache/apt-install.log"; fail "apt install failed"; }
grep -E '^(Setting up|Unpacking) rolvek' "$cache/apt-install.log" | head -n 2
echo "$(grep -c '^Setting up' "$cache/apt-install.log") packages set up"

echo "== the installed programs"
in_root rolvek-check --runs 2 --rolls-per-run 1000 || fail "rolvek-check failed"
in_root qdx-time --help >/dev/null || fail "qdx-time --help failed"
# The window under the offscreen platform: still running after five seconds means it started.
status=0
in_root env QT_QPA_PLATFORM=offscreen timeout 5 rolvek || status=$?
[ "$status" -eq 124 ] || fail "rolvek ended with status $status instead of running"
echo "rolvek ran for five seconds"
# An installed copy keeps its settings and logs in the user's folders, never in /usr/bin.
[ -f "$root/root/.config/rolvek/rolvek.ini" ] || fail "no settings in ~/.config/rolvek"
ls "$root"/root/.local/state/rolvek/logs/*/rolvek.log >/dev/null 2>&1 || fail "no log in ~/.local/state/rolvek"
ls "$root"/usr/bin/*.ini >/dev/null 2>&1 && fail "settings written into /usr/bin"
in_root man -w rolvek >/dev/null 2>&1 || [ -f "$root/usr/share/man/man1/rolvek.1.gz" ] || fail "manual page missing"

echo "== removal"
in_root apt-get remove -y -q rolvek >"$cache/apt-remove.log" 2>&1 ||
    { tail -n 20 "$cache/apt-remove.log"; fail "apt remove failed"; }
[ ! -e "$root/usr/bin/rolvek" ] || fail "rolvek still there after removal"
echo "package installs, runs and removes cleanly on Debian 12"
