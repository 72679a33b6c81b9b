#!/bin/sh
# Installs the three Debian packages on a clean Debian 12 root file system, the way a user would
# (apt-get install with the .deb files, which pulls the dependencies from the Debian mirror):
#   1. libqdx1 and libqdx-dev without rolvek, next to a compiler, cmake and pkg-config: the
#      README's library example builds both ways and prints what the README says;
#   2. rolvek: the three programs run there;
#   3. all three removed again: nothing of them is left, and ldconfig forgets the library.
# Needs root, debootstrap and the Debian mirror; slow the first time (the base system is made once
# and kept in <cache dir>, each check works on a fresh copy).
#
#   package-check.sh <folder with the three .deb files> <cache dir> <README.md>
set -eu
dir=$(readlink -f "$1")
cache=$2
readme=$(readlink -f "$3")
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
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for package in libqdx1 libqdx-dev rolvek; do
    deb=$(ls "$dir/${package}"_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || fail "no package $package in $dir"
    cp "$deb" "$root/tmp/$package.deb"
done
mount -t proc proc "$root/proc"

in_root() { chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
log="$cache/apt.log"
: >"$log"
apt_get() {  # apt_get <what it does> <apt-get arguments...>
    what=$1
    shift
    echo "-- apt-get $*" >>"$log"
    in_root apt-get -y -q "$@" >>"$log" 2>&1 || { tail -n 30 "$log"; fail "$what failed"; }
}

# The README's library example, built there against the installed packages.
sh "$(dirname "$0")/../pkg/readme_example.sh" "$readme" "$root/tmp/example"
expected=$(cat "$root/tmp/example/expected-output")

echo "== libqdx1 and libqdx-dev on a clean Debian 12, without rolvek"
apt_get "apt-get update" update
apt_get "installing the compiler" install --no-install-recommends g++ make cmake pkg-config
apt_get "installing libqdx-dev" install /tmp/libqdx1.deb /tmp/libqdx-dev.deb
grep -E '^Setting up libqdx' "$log"
in_root dpkg-query -W -f='${Status}\n' rolvek 2>/dev/null | grep -q 'install ok installed' &&
    fail "rolvek came along with libqdx-dev"
in_root ldconfig -p | grep -q 'libqdx\.so\.1 ' || fail "the ldconfig trigger did not run: libqdx.so.1 not in the cache"
echo "libqdx.so.1 is in ldconfig's cache"
in_root sh -c 'cd /tmp/example && c++ -o days days.cpp $(pkg-config --cflags --libs qdx)' ||
    fail "the README example does not build with pkg-config"
got=$(in_root /tmp/example/days)
[ "$got" = "$expected" ] || fail "the pkg-config build printed '$got', the README says '$expected'"
echo "README example, pkg-config build: $got"
in_root sh -c 'cmake -S /tmp/example -B /tmp/example/build >/dev/null && cmake --build /tmp/example/build >/dev/null' ||
    fail "the README example does not build with CMake"
got=$(in_root /tmp/example/build/days)
[ "$got" = "$expected" ] || fail "the CMake build printed '$got', the README says '$expected'"
echo "README example, CMake build: $got"

echo "== rolvek"
apt_get "installing rolvek" install /tmp/rolvek.deb
grep -E '^Setting up rolvek' "$log"
echo "$(grep -c '^Setting up' "$log") packages set up in all"
# Exit status 3 means the check's tests failed, which a fair generator does now and then.
status=0
in_root rolvek-check --runs 2 --rolls-per-run 1000 || status=$?
[ $status = 0 ] || [ $status = 3 ] || fail "rolvek-check failed (exit status $status)"
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
for page in rolvek rolvek-check qdx-time; do
    [ -f "$root/usr/share/man/man1/$page.1.gz" ] || fail "manual page $page(1) missing"
done

echo "== removal"
files=$(for package in libqdx1 libqdx-dev rolvek; do in_root dpkg-query -L "$package"; done | sort -u)
apt_get "removing the packages" purge rolvek libqdx-dev libqdx1
for package in libqdx1 libqdx-dev rolvek; do
    in_root dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q 'installed' &&
        fail "$package still installed"
done
left=$(echo "$files" | while read -r path; do
    [ -n "$path" ] && [ -f "$root$path" ] && echo "$path"
done || true)
[ -z "$left" ] || fail "left behind: $left"
in_root ldconfig -p | grep -q 'libqdx' && fail "libqdx.so.1 still in ldconfig's cache after removal"
echo "all three removed: no file of theirs left, libqdx gone from ldconfig's cache"
echo "the packages install, build the README example, run and remove cleanly on Debian 12"
