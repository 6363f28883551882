#!/usr/bin/env bash
# Builds the Debian package: a Release build of the program, its help and its
# desktop files in build-package/, installed under /usr by CPack. The build's
# chatter goes to stderr; stdout gets only the path of the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2
# Lets ccache reuse objects across clones of the tree.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
build=build-package
{
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DPQ_BUILD_TESTS=OFF
    cmake --build "$build" -j2
    rm -f "$build"/*.deb
    (cd "$build" && cpack -G DEB)
} >&2
debs=("$build"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package.sh: expected one .deb in $build, found: ${debs[*]}" >&2
    exit 1
fi
echo "$PWD/${debs[0]}"
