#!/usr/bin/env bash
# Rebuilds tests/kaitai/fixtures/*.ranges: the byte ranges the reference
# compiler's JavaScript reads from each generated sample, which
# tst_ksyparser compares with the interpreter's. Needs node and npm, and the
# test binary built:
#   tests/kaitai/make_fixtures.sh <build folder> [template root]
set -euo pipefail
build=${1:?build folder}
root=${2:-$(dirname "$0")/../../ksy}
here=$(cd "$(dirname "$0")" && pwd)
modules=${KSC_MODULES:-/tmp/ksc/node_modules}
if [ ! -d "$modules/kaitai-struct-compiler" ]; then
    npm install --prefix "$(dirname "$modules")" kaitai-struct-compiler kaitai-struct
fi
samples=$(mktemp -d)
trap 'rm -rf "$samples"' EXIT
PQ_KSY_WRITE_SAMPLES=$samples "$build/tests/kaitai_tst_ksyparser" hostile:unknown-type >/dev/null
mkdir -p "$here/fixtures"
for sample in "$samples"/*.bin; do
    name=$(basename "$sample" .bin)
    ksy=$(cat "$samples/$name.ksy-path")
    node "$here/oracle.js" "$modules" "$root" "$root/$ksy.ksy" "$sample" > "$here/fixtures/$name.ranges"
    echo "$name: $(wc -l < "$here/fixtures/$name.ranges") ranges"
done
