#!/usr/bin/env bash
# Builds and runs the test suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# and the markup-mask concurrency test under ThreadSanitizer. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
# Lets ccache reuse objects across clones of the tree.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

# Qt's own libraries are not instrumented; they are linked as they are.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" \
    -DPQ_SANITIZE=address,undefined
cmake --build build-asan -j2
ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=0:strict_string_checks=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    ctest --test-dir build-asan --output-on-failure -j2 -LE slow

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" \
    -DPQ_SANITIZE=thread
cmake --build build-tsan -j2 --target mask_tst_markupmask_stress mask_tst_markupmask
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/.ci/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -R 'mask/tst_markupmask'
