#!/bin/sh
# Takes the README's picture of the window: starts rolvek on a virtual X display, lets it
# complete a few runs, photographs the screen and cuts the picture down to the window.
#
#   screenshot.sh <build dir> <output .png> [seconds, default 6]
#   QT_FONT_DPI=144 screenshot.sh ...      the same at 144 dpi (Qt scales the window by 1.5)
set -eu
build=$1
out=$2
seconds=${3:-6}
program="$build/app/rolvek"
[ -x "$program" ] || { echo "no $program: build with the Qt front end first" >&2; exit 1; }

# A fresh copy of the program, so its settings file and log stay out of the build tree and the
# picture shows the default settings.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/rolvek"

xvfb-run -a -s "-screen 0 1280x900x24" sh -c '
    QT_QPA_PLATFORM=xcb "$1" &
    pid=$!
    sleep "$2"
    import -window root "$3"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' sh "$work/rolvek" "$seconds" "$work/screen.png"

# No window manager runs, so the window sits on a black background: trim it off.
convert "$work/screen.png" -trim +repage "$out"
echo "saved $out ($(identify -format '%wx%h' "$out"))"
