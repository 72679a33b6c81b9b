#!/bin/sh
# Checks a built Debian package without installing it: its control fields (dpkg-deb --info) name
# every library the programs need, and its contents (dpkg-deb --contents) hold the programs, the
# desktop entry, the icons, the manual pages and the library with its development files.
#
#   check-deb.sh <rolvek_*.deb>
set -eu
deb=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "no package $deb"

info=$(dpkg-deb --info "$deb")
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
echo "$info" | grep -E '^ (Package|Version|Architecture|Depends|Recommends|Suggests|Installed-Size):'

depends=$(dpkg-deb --field "$deb" Depends)
for lib in libc6 libstdc++6 libcurl4 libqt6core6 libqt6gui6 libqt6widgets6; do
    echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$lib" || fail "Depends does not name $lib"
done

for path in \
    ./usr/bin/rolvek ./usr/bin/rolvek-check ./usr/bin/qdx-time \
    ./usr/share/applications/rolvek.desktop \
    ./usr/share/icons/hicolor/16x16/apps/rolvek.png ./usr/share/icons/hicolor/48x48/apps/rolvek.png \
    ./usr/share/icons/hicolor/256x256/apps/rolvek.png ./usr/share/icons/hicolor/scalable/apps/rolvek.svg \
    ./usr/share/man/man1/rolvek.1.gz ./usr/share/man/man1/rolvek-check.1.gz ./usr/share/man/man1/qdx-time.1.gz \
    ./usr/include/qdx/qdx.h
do
    echo "$contents" | grep -qx "$path" || fail "package lacks $path"
done
echo "$contents" | grep -Eq '^\./usr/lib/[^/]+/libqdx\.so\.1(\.[0-9]+)*$' || fail "package lacks libqdx.so.1"
echo "$contents" | grep -Eq '^\./usr/lib/[^/]+/pkgconfig/qdx\.pc$' || fail "package lacks qdx.pc"
echo "$contents" | grep -Eq '^\./usr/lib/[^/]+/cmake/qdx/qdxConfig\.cmake$' || fail "package lacks the CMake package"
# Nothing outside /usr, and no build paths baked into the programs.
echo "$contents" | grep -v '^\./usr' | grep -v '^\./$' | grep -q . && fail "package installs outside /usr"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb --extract "$deb" "$tmp"
for program in rolvek rolvek-check qdx-time; do
    if readelf -d "$tmp/usr/bin/$program" | grep -Eq 'RPATH|RUNPATH'; then
        fail "$program carries an RPATH"
    fi
done
echo "package checks out: $(basename "$deb")"
