#!/bin/sh
# Installs every Debian package the project needs to build, test, run, benchmark, fuzz and package
# (dpkg-dev for dpkg-shlibdeps and dpkg-gensymbols, lintian, devscripts for hardening-check).
# Quick when everything is already there: it asks dpkg first and calls apt-get only for what
# is missing.
set -eu

PACKAGES="
build-essential
cmake
ninja-build
pkg-config
g++
clang
libclang-rt-14-dev
libgtest-dev
libgmock-dev
libbenchmark-dev
qt6-base-dev
libgl-dev
libcurl4-openssl-dev
libssl-dev
ca-certificates
libhowardhinnant-date-dev
libboost-dev
tzdata
xvfb
xauth
imagemagick
fonts-dejavu-core
desktop-file-utils
debootstrap
file
ccache
dpkg-dev
lintian
devscripts
"

missing=""
for p in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Run as root (or install them with apt-get) and try again." >&2
    exit 1
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
