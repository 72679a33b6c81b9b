#!/bin/sh
# Installs the build into a temporary prefix and checks what a user and a developer get from it:
# the programs run from there, the desktop entry is valid and finds its icon in every size, the
# manual pages render, and the README's library example builds against the installed library
# (with pkg-config and with CMake) and prints what the README says it prints.
#
#   check_install.sh <build dir> <README.md> <C++ compiler>
set -eu
build_dir=$1
readme=$2
cxx=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

# --- the programs ---------------------------------------------------------------------------------
for program in rolvek-check qdx-time; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program not installed"
done
# They find libqdx from where they lie; the portable copy keeps its settings beside itself.
# Exit status 3 is a check that failed its tests, which a fair generator does now and then.
status=0
"$prefix/bin/rolvek-check" --runs 1 --rolls-per-run 1000 --format csv >"$work/check.csv" 2>"$work/check.err" ||
    status=$?
[ $status = 0 ] || [ $status = 3 ] || fail "installed rolvek-check did not run (exit status $status)"
grep -q '^value,count,deviation,z,flag$' "$work/check.csv" || fail "rolvek-check printed no totals"
[ -f "$prefix/bin/rolvek.ini" ] || fail "rolvek-check kept no settings beside itself"
"$prefix/bin/qdx-time" --help >/dev/null || fail "installed qdx-time did not run"

ui=0
grep -q '^ROLVEK_BUILD_UI:BOOL=ON' "$build_dir/CMakeCache.txt" && ui=1
if [ $ui = 1 ]; then
    [ -x "$prefix/bin/rolvek" ] || fail "bin/rolvek not installed"
    # The window on the offscreen platform: still running after three seconds means it started.
    status=0
    QT_QPA_PLATFORM=offscreen timeout 3 "$prefix/bin/rolvek" >"$work/rolvek.out" 2>&1 || status=$?
    [ $status -eq 124 ] || { cat "$work/rolvek.out" >&2; fail "installed rolvek ended with status $status"; }
    ls "$prefix"/bin/logs/*/rolvek.log >/dev/null 2>&1 || fail "installed rolvek wrote no log beside itself"
fi

# --- desktop entry and icon -------------------------------------------------------------------------
entry="$prefix/share/applications/rolvek.desktop"
[ -f "$entry" ] || fail "desktop entry not installed"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop entry does not validate"
else
    echo "desktop-file-validate missing (Debian package desktop-file-utils)" >&2
    exit 1
fi
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "${exec_line%% *}" = rolvek ] || fail "desktop entry starts '$exec_line', not rolvek"
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [ -f "$png" ] || fail "icon $png missing"
    file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size x $size PNG"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "scalable icon missing"

# --- manual pages -----------------------------------------------------------------------------------
for page in rolvek rolvek-check qdx-time; do
    found=$(ls "$prefix"/share/man/man1/"$page".1* 2>/dev/null | head -n 1)
    [ -n "$found" ] || fail "manual page $page(1) missing"
    if command -v man >/dev/null; then
        MANWIDTH=80 man -l "$found" 2>/dev/null | grep -q "^NAME" || fail "man -l $found shows no NAME section"
    fi
done

# --- the README's library example -----------------------------------------------------------------
sh "$(dirname "$0")/readme_example.sh" "$readme" "$work/example"
expected=$(cat "$work/example/expected-output")

libdir=$(dirname "$(ls "$prefix"/lib*/libqdx.so.1 "$prefix"/lib/*/libqdx.so.1 2>/dev/null | head -n 1)")
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
"$cxx" -o "$work/example/days" "$work/example/days.cpp" $(pkg-config --cflags --libs qdx)
got=$(LD_LIBRARY_PATH="$libdir" "$work/example/days")
[ "$got" = "$expected" ] || fail "pkg-config build printed '$got', the README says '$expected'"

cmake -S "$work/example" -B "$work/example/build" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/example/build" >/dev/null
got=$(LD_LIBRARY_PATH="$libdir" "$work/example/build/days")
[ "$got" = "$expected" ] || fail "CMake build printed '$got', the README says '$expected'"

echo "install into a temporary prefix: programs, desktop entry, icons, manual pages and the README example all check out"
