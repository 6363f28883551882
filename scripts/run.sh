#!/usr/bin/env bash
# Installs, builds and starts the editor.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target pellowquarnby
exec ./build/pellowquarnby "$@"
