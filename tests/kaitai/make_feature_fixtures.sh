#!/usr/bin/env bash
# Rebuilds tests/kaitai/features/*.expected: for each small description there
# (one language feature each) and its bytes (<name>.hex), the ranges and the
# values the reference compiler's JavaScript reads, which tst_ksyparser
# compares with the interpreter's. Needs node and npm:
#   tests/kaitai/make_feature_fixtures.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
modules=${KSC_MODULES:-/tmp/ksc/node_modules}
if [ ! -d "$modules/kaitai-struct-compiler" ]; then
    npm install --prefix "$(dirname "$modules")" kaitai-struct-compiler@0.11 kaitai-struct
fi
sample=$(mktemp)
trap 'rm -f "$sample"' EXIT
for ksy in "$here"/features/*.ksy; do
    name=${ksy%.ksy}
    xxd -r -p "$name.hex" > "$sample"
    ORACLE_VALUES=1 node "$here/oracle.js" "$modules" "$here/features" "$ksy" "$sample" > "$name.expected"
    echo "$(basename "$name"): $(wc -l < "$name.expected") lines"
done
