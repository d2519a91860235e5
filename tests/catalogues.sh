#!/bin/sh
# Every text that the code passes to tr() has a finished translation in both
# catalogues: lupdate, run over the sources into a copy of each catalogue,
# must find nothing new, unfinished or empty, and English maps every text to
# itself. The form's own texts are left
# out: the window replaces each of them before it is first shown.
#   catalogues.sh SOURCE_DIR LUPDATE
set -eu
src=$1
lupdate=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$src"
status=0
for language in chinese english; do
    copy=$work/$language.ts
    cp "app/translation/merro_$language.ts" "$copy"
    LUPDATE=$lupdate "$src/scripts/update-catalogues" "$copy"
    missing=$(grep -B2 -E 'type="unfinished"|<translation( [^>]*)?(/>|></translation>)' "$copy" \
              | sed -n 's/.*<source>\(.*\)<\/source>.*/\1/p')
    # A text the sources no longer hold (or a folder the script does not read).
    gone=$(grep -B2 -E 'type="(vanished|obsolete)"' "$copy" \
           | sed -n 's/.*<source>\(.*\)<\/source>.*/\1/p')
    if [ -n "$gone" ]; then
        echo "merro_$language.ts holds texts that no source passes to tr():"
        echo "$gone" | sed 's/^/    /'
        status=1
    fi
    if [ -n "$missing" ]; then
        echo "merro_$language.ts has no finished translation of:"
        echo "$missing" | sed 's/^/    /'
        status=1
    fi
done
# The English catalogue maps every text to itself.
if ! awk -F'[<>]' '/<source>/ { s = $3 } /<translation/ && $3 != s { print "    " s; bad = 1 }
                   END { exit bad }' app/translation/merro_english.ts; then
    echo "merro_english.ts translates the texts above into something else"
    status=1
fi
[ $status = 0 ] && echo "every text passed to tr() is translated in both catalogues"
exit $status
