#!/usr/bin/env bash
# Builds the Debian package, installs it system-wide as a user would, checks
# the installed program and its desktop files, then purges it and checks that
# nothing it installed is left. Needs root or sudo; meant for a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

fail() {
    echo "package_check: FAIL: $*" >&2
    exit 1
}

installed() {
    dpkg-query -W -f '${Status}' pellowquarnby 2>/dev/null | grep -q 'install ok installed'
}

# A package left by an earlier run would make apt keep the old build.
installed && $SUDO apt-get remove --purge -y pellowquarnby
deb=$(bash scripts/package.sh)
echo "== built $deb after $(( $(date +%s) - start )) s"

work=$(mktemp -d)
cleanup() {
    rm -rf "$work"
    if installed; then $SUDO apt-get remove --purge -y pellowquarnby >/dev/null; fi
}
trap cleanup EXIT

$SUDO apt-get install -y "$deb"
installed || fail "the package is not installed"

# The version printed is the project's, and the package carries the same.
version=$(sed -n 's/^project(PellowQuarnby VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project() line"
[ "$(command -v pellowquarnby)" = /usr/bin/pellowquarnby ] || fail "pellowquarnby is not /usr/bin/pellowquarnby"
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM pellowquarnby --version)
[ "$printed" = "pellowquarnby $version" ] || fail "--version printed '$printed', expected 'pellowquarnby $version'"
packaged=$(dpkg-query -W -f '${Version}' pellowquarnby)
[ "$packaged" = "$version" ] || fail "package version $packaged, project version $version"
echo "Depends: $(dpkg-query -W -f '${Depends}' pellowquarnby)"

usage=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM pellowquarnby --help)
for option in --markup --export --version; do
    grep -q -- "$option" <<<"$usage" || fail "--help does not list $option"
done
# With no display there is no window system to take options of its own, so
# an unknown option is a usage mistake at once.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM pellowquarnby --no-such-option \
    >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with $status, not 2"

# The headless export: no display, a window-less run, the markup in the JSON.
printf 'ABCDEFGHIJ' >"$work/sample.bin"
printf '<pellowquarnbybook><node description="tag" start="2" end="5" repeat="false"/></pellowquarnbybook>\n' \
    >"$work/sample.xml"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" XDG_CONFIG_HOME="$work/config" \
    pellowquarnby --markup "$work/sample.xml" --export "$work/out.json" "$work/sample.bin" \
    || fail "the headless export ended with $?"
grep -q '"tag"' "$work/out.json" || fail "the exported JSON lacks the markup: $(cat "$work/out.json")"

# The help client looks for the collection in ../share/pellowquarnby/html_help
# beside the program, and Help Topics needs the viewer the package recommends.
[ -f /usr/share/pellowquarnby/html_help/pellowquarnby.qhc ] || fail "no help collection"
[ -f /usr/share/pellowquarnby/html_help/pellowquarnby.qch ] || fail "no compressed help"
[ -x /usr/lib/qt6/bin/assistant ] || fail "the recommended help viewer is not installed"

appstreamcli validate --no-net /usr/share/metainfo/org.sorrelworks.pellowquarnby.metainfo.xml
desktop-file-validate /usr/share/applications/pellowquarnby.desktop
echo "desktop-file-validate: no findings"
[ "$(man -w pellowquarnby)" = /usr/share/man/man1/pellowquarnby.1.gz ] || fail "man does not find the page"
man --warnings -l /usr/share/man/man1/pellowquarnby.1.gz 2>&1 >/dev/null | grep . && fail "the manual page has warnings"
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
    [ -f "/usr/share/icons/hicolor/$size/apps/pellowquarnby.png" ] || fail "no $size icon"
done

# The file type: a markup file is recognised by its root element, other XML
# stays plain XML.
printf '<?xml version="1.0"?>\n<catalog><item/></catalog>\n' >"$work/plain.xml"
type_of() { gio info -a standard::content-type "$1" | sed -n 's/.*standard::content-type: //p'; }
[ "$(type_of "$work/sample.xml")" = application/x-pellowquarnby-markup ] \
    || fail "the markup file is $(type_of "$work/sample.xml")"
[ "$(type_of "$work/plain.xml")" = application/xml ] || fail "plain XML is $(type_of "$work/plain.xml")"

# Purge, then every file the package listed must be gone, and so must the
# program's own folders and the file type it registered. Directories such as
# /usr/share/icons are shared with other packages and stay.
dpkg -L pellowquarnby | while IFS= read -r path; do
    [ -d "$path" ] || echo "$path"
done >"$work/files"
count=$(grep -c . "$work/files" || true)
[ "$count" -gt 30 ] || fail "dpkg -L listed only $count files"
$SUDO apt-get remove --purge -y pellowquarnby
installed && fail "the package is still installed"
left=0
while IFS= read -r path; do
    if [ -e "$path" ]; then echo "left behind: $path" >&2; left=1; fi
done <"$work/files"
[ "$left" -eq 0 ] || fail "files were left behind"
for dir in /usr/share/pellowquarnby /usr/share/doc/pellowquarnby; do
    [ ! -e "$dir" ] || fail "$dir is left behind"
done
[ ! -e /usr/share/mime/application/x-pellowquarnby-markup.xml ] || fail "the file type is still registered"
echo "all $count installed files are gone"
echo "== package check passed after $(( $(date +%s) - start )) s"
