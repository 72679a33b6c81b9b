#!/bin/sh
# Runs every benchmark of the bench build, one after the other (they share two cores).
set -eu
build=$1
found=0
for b in "$build"/bench/*_bench; do
    [ -x "$b" ] || continue
    found=1
    echo "== $(basename "$b")"
    "$b" --benchmark_counters_tabular=true
done
[ "$found" = 1 ] || echo "no benchmarks built"
