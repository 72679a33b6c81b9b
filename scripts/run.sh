#!/bin/sh
# Starts the tool from the build tree: the dialog when there is a display, otherwise rolvek-check,
# the same check without a window (RUNS runs, default 10, then the totals and the chi-square test).
set -eu
build=$1
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/app/rolvek" ]; then
    exec "$build/app/rolvek"
fi
if [ -x "$build/app/rolvek" ]; then
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running rolvek-check instead of the window."
fi
exec "$build/app/rolvek-check" --runs "${RUNS:-10}"
