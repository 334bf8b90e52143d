#!/bin/sh
# glyph8-cli's man page, made by help2man from the installed copy, so that it
# describes that copy: its --version names where the installed licence texts
# are. A package's staging directory (DESTDIR) is taken out of what it prints.
#   installed_man_page.sh HELP2MAN DESTDIR PROGRAM MAN_PAGE.gz
# PROGRAM is the installed path without DESTDIR.
set -eu
help2man=$1 destdir=$2 program=$3 out=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# help2man names the page after the program it runs: a wrapper of that name.
if [ -n "$destdir" ]; then
    pattern=$(printf '%s' "$destdir" | sed 's/[].[*^$\\|]/\\&/g')
    printf '#!/bin/sh\n"$0.real" "$@" | sed "s|%s||g"\n' "$pattern" >"$tmp/glyph8-cli"
else
    printf '#!/bin/sh\nexec "$0.real" "$@"\n' >"$tmp/glyph8-cli"
fi
ln -s "$destdir$program" "$tmp/glyph8-cli.real"
chmod +x "$tmp/glyph8-cli"
mkdir -p "$(dirname "$destdir$out")"
"$help2man" --no-info --name='8x8 dot-matrix glyphs as source text' "$tmp/glyph8-cli" |
    gzip -9n >"$destdir$out"
