#!/bin/sh
# The symbols file of libqdx1: every name libqdx.so.1 exports, with the version that brought it.
# The list is kept in pkg/debian/libqdx1.symbols, in Debian's format, made by dpkg-gensymbols.
#
#   symbols.sh check  <libqdx.so.1> <libqdx1.symbols> <version> <output>
#       Writes the package's symbols file to <output>: the kept list plus any new export (with
#       <version>). Fails when an export in the list has vanished from the library, since every
#       program built against it would then fail to start; new exports only get a note.
#   symbols.sh update <libqdx.so.1> <libqdx1.symbols> <version>
#       Rewrites the kept list from the library (`make symbols`): new exports get <version>,
#       vanished ones are dropped, the rest keep theirs.
#
# Weak definitions (inline functions and template instances that the compiler happened to emit,
# such as std::vector<...> members) are marked (optional): a program that uses them carries its
# own copy, so their coming and going is no break.
set -eu
mode=$1 lib=$2 kept=$3 version=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$lib" ] || fail "no library $lib"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/root"

case $mode in
check)
    out=$5
    # Vanished: a name in the kept list (other than an optional one) that the library no longer
    # exports. Checked here rather than by dpkg-gensymbols, which forgives the loss of a name
    # that came with the version being built.
    nm -D --defined-only "$lib" | awk '{ sub(/@.*/, "", $3); print $3 }' | sort -u >"$work/exported"
    listed() {  # listed <awk condition on the line>
        awk "/^ / && !/^ #/ && $1"' {
                name = substr($0, 2); sub(/^\([^)]*\)/, "", name); sub(/@.*/, "", name); print name
             }' "$kept" | sort -u
    }
    listed '!/^ \([^)]*optional/' >"$work/required"
    listed '1' >"$work/listed"
    vanished=$(comm -23 "$work/required" "$work/exported")
    if [ -n "$vanished" ]; then
        echo "$vanished" | sed 's/^/    /' >&2
        fail "these exports listed in $kept have vanished from $(basename "$lib"). Programs built" \
             "against the library need them: bring them back, or, when the break is meant, raise the" \
             "SONAME and run 'make symbols'."
    fi
    dpkg-gensymbols -plibqdx1 -v"$version" -P"$work/root" -e"$lib" -I"$kept" -O"$work/symbols" -c0 \
        >"$work/diff" 2>&1 || { cat "$work/diff" >&2; fail "dpkg-gensymbols failed"; }
    new=$(comm -13 "$work/listed" "$work/exported" | grep -c . || true)
    if [ "$new" -gt 0 ]; then
        echo "note: $new exports of $(basename "$lib") are not in $kept yet; 'make symbols' records them:"
        comm -13 "$work/listed" "$work/exported" | sed 's/^/    /'
    fi
    mkdir -p "$(dirname "$out")"
    cp "$work/symbols" "$out"
    ;;
update)
    template=""
    [ -f "$kept" ] && template="-I$kept"
    # shellcheck disable=SC2086
    dpkg-gensymbols -plibqdx1 -v"$version" -P"$work/root" -e"$lib" $template -O"$work/symbols" -c0 -q
    nm -D --defined-only "$lib" | awk '$2 ~ /^[WVu]$/ { print $3 }' | sort -u >"$work/weak"
    awk -v weakfile="$work/weak" '
        BEGIN { while ((getline name < weakfile) > 0) weak[name] = 1 }
        /^ #MISSING:/ { next }                       # vanished: dropped
        NR == 1 { print; print "* Build-Depends-Package: libqdx-dev"; next }
        /^\* Build-Depends-Package:/ { next }
        /^ / {
            split(substr($0, 2), parts, "@")
            if (weak[parts[1]] && $0 !~ /^ \(/) { print " (optional)" substr($0, 2); next }
        }
        { print }' "$work/symbols" >"$work/kept"
    cp "$work/kept" "$kept"
    echo "$kept: $(grep -c '^ ' "$kept") exports"
    ;;
*)
    fail "usage: symbols.sh check|update <libqdx.so.1> <libqdx1.symbols> <version> [<output>]"
    ;;
esac
