#!/bin/sh
# Starts the tool from the build tree. Until the dialog exists this runs rolvek-check, the same
# check without a window: RUNS runs (default 10), then the totals and the chi-square test.
set -eu
build=$1
if [ -x "$build/app/rolvek-check" ]; then
    exec "$build/app/rolvek-check" --runs "${RUNS:-10}"
fi
exec "$build/app/rolvek-demo" "${RUNS:-3}"
