#!/bin/sh
# Writes the README's library example into a folder: days.cpp, CMakeLists.txt and
# expected-output, each taken from the fenced block after a line "<!-- example: NAME -->".
# Fails when the README lacks one of them.
#
#   readme_example.sh <README.md> <folder>
set -eu
readme=$1
dir=$2
mkdir -p "$dir"
for file in days.cpp CMakeLists.txt expected-output; do
    awk -v want="<!-- example: $file -->" '
        $0 == want { armed = 1; next }
        armed && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$readme" >"$dir/$file"
    [ -s "$dir/$file" ] || { echo "FAIL: README holds no example file $file" >&2; exit 1; }
done
