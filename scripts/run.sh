#!/bin/sh
# Starts the tool from the build tree. Until the dialog exists this runs the check engine a few
# times and prints the totals.
set -eu
build=$1
if [ -x "$build/app/rolvek-check" ]; then
    exec "$build/app/rolvek-check" --runs "${RUNS:-10}"
fi
exec "$build/app/rolvek-demo" "${RUNS:-3}"
