#!/bin/sh
# Checks the three Debian packages of a build without installing them:
#   - lintian --pedantic: any error, warning, info or pedantic tag that is not overridden (with its
#     reason, in pkg/debian/<package>.lintian-overrides) fails;
#   - hardening-check on every program and on the library: PIE, stack protector, fortified
#     functions, read-only relocations bound at start;
#   - the control fields: who depends on whom, and no xdg-utils;
#   - the contents: each file in the package it belongs to, nothing outside /usr, no RPATH.
#
#   check-deb.sh <build dir with libqdx1_*.deb, libqdx-dev_*.deb and rolvek_*.deb>
set -eu
dir=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

deb_of() {
    found=$(ls "$dir/$1"_*.deb 2>/dev/null | head -n 1)
    [ -n "$found" ] || fail "no package $1 in $dir"
    echo "$found"
}
lib=$(deb_of libqdx1)
dev=$(deb_of libqdx-dev)
app=$(deb_of rolvek)
version=$(dpkg-deb --field "$lib" Version)

# --- control fields -------------------------------------------------------------------------------
for deb in "$lib" "$dev" "$app"; do
    echo "== $(basename "$deb")"
    dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Architecture|Section|Depends|Recommends|Suggests|Installed-Size):'
done
names() { dpkg-deb --field "$1" "$2" | tr ',' '\n' | sed 's/^ *//; s/ .*//'; }
for need in libc6 libstdc++6 libcurl4; do
    names "$lib" Depends | grep -qxF "$need" || fail "libqdx1 does not depend on $need"
done
for need in libqdx1 libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    names "$app" Depends | grep -qxF "$need" || fail "rolvek does not depend on $need"
done
dpkg-deb --field "$dev" Depends | grep -qF "libqdx1 (= $version)" || fail "libqdx-dev does not depend on libqdx1 (= $version)"
names "$app" Recommends | grep -qxF xdg-utils && fail "rolvek recommends xdg-utils, which nothing calls"

# --- contents ---------------------------------------------------------------------------------------
contents() { dpkg-deb --contents "$1" | awk '{print $6}'; }
has() {  # has <deb> <extended regular expression of a path>
    contents "$1" | grep -Eqx "$2" || fail "$(basename "$1") lacks $2"
}
arch_lib='\./usr/lib/[^/]+'
has "$lib" "$arch_lib/libqdx\.so\.1"
has "$lib" "$arch_lib/libqdx\.so\.1\.[0-9.]+"
for path in "$arch_lib/libqdx\.so" '\./usr/include/qdx/qdx\.h' "$arch_lib/pkgconfig/qdx\.pc" \
            "$arch_lib/cmake/qdx/qdxConfig\.cmake"; do
    has "$dev" "$path"
done
for path in ./usr/bin/rolvek ./usr/bin/rolvek-check ./usr/bin/qdx-time \
    ./usr/share/applications/rolvek.desktop \
    ./usr/share/icons/hicolor/16x16/apps/rolvek.png ./usr/share/icons/hicolor/48x48/apps/rolvek.png \
    ./usr/share/icons/hicolor/256x256/apps/rolvek.png ./usr/share/icons/hicolor/scalable/apps/rolvek.svg \
    ./usr/share/man/man1/rolvek.1.gz ./usr/share/man/man1/rolvek-check.1.gz ./usr/share/man/man1/qdx-time.1.gz
do
    has "$app" "$(echo "$path" | sed 's/\./\\./g')"
done
for deb in "$lib" "$dev" "$app"; do
    package=$(dpkg-deb --field "$deb" Package)
    has "$deb" "\./usr/share/doc/$package/copyright"
    has "$deb" "\./usr/share/doc/$package/changelog\.gz"
    contents "$deb" | grep -v '^\./usr' | grep -v '^\./$' | grep -q . && fail "$package installs outside /usr"
done
contents "$app" | grep -q 'libqdx' && fail "rolvek carries a piece of the library"
contents "$lib" | grep -Eq '/include/|\.so$' && fail "libqdx1 carries development files"
dpkg-deb --ctrl-tarfile "$lib" | tar -t | grep -qx './triggers' || fail "libqdx1 has no ldconfig trigger"
dpkg-deb --ctrl-tarfile "$lib" | tar -t | grep -qx './symbols' || fail "libqdx1 has no symbols file"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for deb in "$lib" "$dev" "$app"; do dpkg-deb --extract "$deb" "$tmp"; done
for program in rolvek rolvek-check qdx-time; do
    if readelf -d "$tmp/usr/bin/$program" | grep -Eq 'RPATH|RUNPATH'; then
        fail "$program carries an RPATH"
    fi
done

# --- lintian ----------------------------------------------------------------------------------------
command -v lintian >/dev/null || fail "lintian is missing (Debian package lintian)"
echo "== lintian --pedantic"
# Overridden tags count towards --fail-on once they are shown, so the overrides come second.
lintian --pedantic --display-info --display-experimental --fail-on error,warning,info,pedantic \
        "$lib" "$dev" "$app" || fail "lintian found the above"
echo "lintian: no findings; overridden, each with its reason:"
lintian --pedantic --display-info --display-experimental --show-overrides "$lib" "$dev" "$app" 2>/dev/null |
    grep -E '^(N|O):' || true

# --- hardening-check --------------------------------------------------------------------------------
command -v hardening-check >/dev/null || fail "hardening-check is missing (Debian package devscripts)"
echo "== hardening-check"
# Control flow integrity (CET) is left out: Debian 12's C library start files carry no IBT/SHSTK
# note, so no program linked on it can (its own /usr/bin/ls included).
status=0
hardening-check --nocfprotection "$tmp"/usr/bin/rolvek "$tmp"/usr/bin/rolvek-check "$tmp"/usr/bin/qdx-time \
                "$tmp"/usr/lib/*/libqdx.so.1.* >"$tmp/hardening" 2>&1 || status=$?
sed "s|$tmp||" "$tmp/hardening"
[ "$status" -eq 0 ] || fail "hardening-check found the above"

echo "packages check out: $(basename "$lib") $(basename "$dev") $(basename "$app")"
