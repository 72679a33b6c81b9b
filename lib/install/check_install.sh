#!/bin/sh
# Installs the build tree into a temporary prefix, then builds and runs a small outside program
# against the installed library twice: once through pkg-config, once through find_package(qdx).
# The umbrella header must also compile as C++17.
set -eu
build_dir=$1
example=$2
cxx=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

lib=$(ls "$prefix"/lib*/libqdx.so.1 2>/dev/null || ls "$prefix"/lib/*/libqdx.so.1)
soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
[ "$soname" = "libqdx.so.1" ] || { echo "unexpected SONAME: '$soname'" >&2; exit 1; }
[ -f "$prefix/include/qdx/qdx.h" ] || { echo "umbrella header missing" >&2; exit 1; }

pcdir=$(dirname "$(find "$prefix" -name qdx.pc | head -n 1)")
export PKG_CONFIG_PATH="$pcdir"
libdir=$(pkg-config --variable=libdir qdx)
# The public headers ask no more than C++17 of a consumer (qdx.pc names no standard).
echo '#include <qdx/qdx.h>' | "$cxx" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ - $(pkg-config --cflags qdx)
"$cxx" -o "$prefix/example" "$example" $(pkg-config --cflags --libs qdx)
LD_LIBRARY_PATH="$libdir" "$prefix/example"

mkdir -p "$prefix/cmake-example"
cat >"$prefix/cmake-example/CMakeLists.txt" <<CML
cmake_minimum_required(VERSION 3.25)
project(example LANGUAGES CXX)
find_package(qdx REQUIRED)
add_executable(example "$example")
target_link_libraries(example PRIVATE qdx::qdx)
CML
cmake -S "$prefix/cmake-example" -B "$prefix/cmake-example/build" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$prefix/cmake-example/build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$prefix/cmake-example/build/example"
echo "installed library builds and runs"
