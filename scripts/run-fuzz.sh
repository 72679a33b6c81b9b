#!/bin/sh
# Runs every libFuzzer target for a few seconds each, starting from its seed corpus when one
# exists. Fails when any target finds a crash.
set -eu
build=$1
seconds=${2:-10}
found=0
status=0
for f in "$build"/fuzz/*_fuzz; do
    [ -x "$f" ] || continue
    found=1
    name=$(basename "$f")
    corpus="$build/fuzz/corpus/$name"
    log="$build/fuzz/$name.log"
    mkdir -p "$corpus"
    seeds=""
    [ -d "fuzz/seeds/$name" ] && seeds="fuzz/seeds/$name"
    echo "== $name ($seconds s)"
    # shellcheck disable=SC2086
    if "$f" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/fuzz/$name-" \
            "$corpus" $seeds >"$log" 2>&1; then
        # The closing line: executions, coverage (cov), features (ft), corpus and memory.
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true
    else
        tail -n 40 "$log"
        echo "$name FAILED (log: $log)"
        status=1
    fi
done
[ "$found" = 1 ] || echo "no fuzz targets built"
exit $status
