#!/usr/bin/env bash
# Fails while a translatable string in src/ has no finished translation in
# some translations/*.ts, or a translation drops a placeholder (%1, %n).
# lupdate runs over the current sources into a copy of each .ts first, so a
# string added since the last scripts/update_translations.sh counts too.
# Usage: check_complete.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate=$1
root=$2
if [ ! -x "$lupdate" ]; then
    echo "FAIL: lupdate not found at '$lupdate'; install qt6-l10n-tools (scripts/deps.sh)" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
shopt -s nullglob
files=("$root"/translations/*.ts)
if [ ${#files[@]} -eq 0 ]; then
    echo "FAIL: no .ts files in $root/translations" >&2
    exit 1
fi
for ts in "${files[@]}"; do
    copy="$work/$(basename "$ts")"
    cp "$ts" "$copy"
    # The same options as scripts/update_translations.sh.
    if ! "$lupdate" -no-obsolete -locations none "$root/src" -ts "$copy" >"$work/lupdate.log" 2>&1; then
        cat "$work/lupdate.log" >&2
        echo "FAIL: lupdate failed on $ts" >&2
        exit 1
    fi
    # lupdate's warnings (a tr() it cannot place) mean a string it skipped.
    if grep -E ':[0-9]+: ' "$work/lupdate.log" >&2; then
        echo "FAIL: lupdate could not extract every string (above)" >&2
        status=1
    fi
    awk -v file="$(basename "$ts")" '
        function placeholders(text,    out, rest) {
            out = ""; rest = text
            while (match(rest, /%[0-9n]/)) {
                out = out " " substr(rest, RSTART, 2)
                rest = substr(rest, RSTART + 2)
            }
            return out
        }
        function report(why) {
            printf "%s: %s: \"%s\": %s\n", file, context, source, why
            bad++
        }
        /<name>/ && !in_message { context = $0; gsub(/.*<name>|<\/name>.*/, "", context) }
        /<message/ { in_message = 1; numerus = ($0 ~ /numerus="yes"/); source = ""; translation = ""; field = "" }
        in_message && /<source>/ { field = "source" }
        in_message && /<translation/ { field = "translation" }
        in_message && field == "source" { source = source (source == "" ? "" : "\n") $0 }
        in_message && field == "translation" { translation = translation $0 "\n" }
        in_message && /<\/source>/ { field = "" }
        in_message && (/<\/translation>/ || /<translation[^>]*\/>/) { field = "" }
        /<\/message>/ {
            in_message = 0; messages++
            gsub(/^[ \t]*<source>|<\/source>.*$/, "", source)
            if (translation ~ /type="(unfinished|vanished|obsolete)"/) { report("unfinished"); next }
            text = translation
            gsub(/<\/?translation[^>]*>|<\/?numerusform>|[ \t\n]/, "", text)
            if (text == "") { report("empty translation"); next }
            if (numerus && translation ~ /<numerusform><\/numerusform>/) { report("empty plural form"); next }
            split(placeholders(source), wanted, " ")
            for (i in wanted) {
                # A singular form may spell the number out; %n must appear in some form.
                if (index(translation, wanted[i]) == 0) { report("translation lacks " wanted[i]); next }
                if (numerus && wanted[i] != "%n") {
                    forms = translation
                    while (match(forms, /<numerusform>[^<]*<\/numerusform>/)) {
                        form = substr(forms, RSTART, RLENGTH)
                        if (index(form, wanted[i]) == 0) { report("a plural form lacks " wanted[i]); next }
                        forms = substr(forms, RSTART + RLENGTH)
                    }
                }
            }
        }
        END {
            if (messages == 0) { printf "%s: no messages found\n", file; exit 1 }
            printf "%s: %d messages, %d without a usable translation\n", file, messages, bad
            exit bad > 0
        }
    ' "$copy" || status=1
done
if [ $status -ne 0 ]; then
    echo "Translate the strings above: bash scripts/update_translations.sh, then edit translations/*.ts (Qt Linguist)." >&2
fi
exit $status
