#!/bin/sh
# Installs the Debian packages a make target needs, and nothing more: quick when they are all
# there, since it asks dpkg first and calls apt-get only for what is missing.
#
#   install-deps.sh [GROUP...]
#
# Always: what `make build`, `make run`, `make test`, `make test-asan` and `make test-tsan`
# need (compilers, CMake, Qt, GoogleTest, libcurl, the zone database, the install check's
# tools). A developer who is not root can build and test once these are there. Extra groups:
#   fuzz           clang and its fuzzer runtime       (make fuzz)
#   bench          Google Benchmark                   (make bench)
#   package        dpkg-dev, lintian, hardening-check (make package)
#   package-check  debootstrap for a clean Debian 12  (make package-check)
#   window         a virtual X display and ImageMagick (make screenshot, window checks)
#   all            every group
set -eu

BASE="
build-essential
cmake
ninja-build
pkg-config
g++
libgtest-dev
libgmock-dev
qt6-base-dev
libgl-dev
libcurl4-openssl-dev
libssl-dev
ca-certificates
libhowardhinnant-date-dev
libboost-dev
tzdata
fonts-dejavu-core
desktop-file-utils
file
ccache
"
FUZZ="clang libclang-rt-14-dev"
BENCH="libbenchmark-dev"
PACKAGE="dpkg-dev lintian devscripts"
PACKAGE_CHECK="debootstrap"
WINDOW="xvfb xauth imagemagick"

packages=$BASE
for group in "$@"; do
    case "$group" in
        fuzz) packages="$packages $FUZZ" ;;
        bench) packages="$packages $BENCH" ;;
        package) packages="$packages $PACKAGE" ;;
        package-check) packages="$packages $PACKAGE $PACKAGE_CHECK" ;;
        window) packages="$packages $WINDOW" ;;
        all) packages="$packages $FUZZ $BENCH $PACKAGE $PACKAGE_CHECK $WINDOW" ;;
        *)
            echo "install-deps.sh: unknown group '$group' (fuzz, bench, package, package-check, window, all)" >&2
            exit 2
            ;;
    esac
done

missing=""
for p in $packages; do
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
