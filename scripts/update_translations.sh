#!/usr/bin/env bash
# Refreshes every translations/*.ts from the strings in src/ after strings
# were added, changed or removed: new ones come in unfinished (open them in
# Qt Linguist, /usr/lib/qt6/bin/linguist), gone ones are dropped. The CTest
# test translations/complete runs the same lupdate and fails while any
# string is untranslated.
set -euo pipefail
cd "$(dirname "$0")/.."
LUPDATE=${LUPDATE:-/usr/lib/qt6/bin/lupdate}
if [ ! -x "$LUPDATE" ]; then
    echo "lupdate not found at $LUPDATE: run scripts/deps.sh (qt6-l10n-tools)" >&2
    exit 1
fi
# Keep these options in step with tests/translations/check_complete.sh.
"$LUPDATE" -no-obsolete -locations none src -ts translations/*.ts
