#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the program and its
# Debian package (scripts/package.sh, scripts/package_check.sh) need.
set -euo pipefail
packages=(
    cmake g++ make ccache
    qt6-base-dev libboost-regex-dev libyaml-cpp-dev zlib1g-dev
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
    assistant-qt6 qt6-documentation-tools libqt6sql6-sqlite
    fonts-urw-base35 fonts-dejavu-core
    clang libclang-rt-14-dev
    xvfb xauth
    e2fsprogs
    dpkg-dev file appstream desktop-file-utils libglib2.0-bin
)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
