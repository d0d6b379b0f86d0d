#!/usr/bin/env bash
# The install rules and the Debian package: the files land where a desktop
# looks for them, the desktop entry and AppStream file validate, Depends are
# the computed ones, and lintian (where Debian has it) reports no error.
# Usage: package_test.sh <build dir> <source dir>
set -u
BUILD=$(readlink -f "$1")
SRC=$(readlink -f "$2")
TMP=$(mktemp -d /tmp/tellavo-pkg.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A file of the tree under <root>/<prefix>, and the icon at <size>.
check_tree() {
    local root=$1
    [ -x "$root/bin/tellavo" ] || fail "no executable bin/tellavo under $root"
    local desktop=$root/share/applications/tellavo.desktop
    [ -f "$desktop" ] || fail "no desktop entry"
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    grep -qx 'Categories=Utility;' "$desktop" || fail "Categories"
    grep -qx 'StartupNotify=false' "$desktop" || fail "StartupNotify"
    grep -qx 'Exec=tellavo' "$desktop" || fail "Exec takes arguments or a path"
    grep -q '^Comment=.*batteria' "$desktop" || fail "no Italian comment"
    local meta=$root/share/metainfo/tellavo.metainfo.xml
    [ -f "$meta" ] || fail "no metainfo"
    appstreamcli validate --no-net "$meta" >"$TMP/as.log" 2>&1 || fail "appstreamcli: $(cat "$TMP/as.log")"
    local size ref
    for size in 16 32 48; do
        local icon=$root/share/icons/hicolor/${size}x${size}/apps/tellavo.png
        [ -f "$icon" ] || fail "no ${size}px icon"
        [ "$(identify -format '%w %h' "$icon")" = "$size $size" ] || fail "${size}px icon has the wrong size"
        # Picture 5 scaled by whole pixels, nearest neighbour: equal pixel for pixel.
        ref=$TMP/ref$size.png
        convert "$SRC/assets/5.xpm" -filter point -scale "$((size * 100 / 16))%" "PNG32:$ref"
        [ "$(compare -metric AE "PNG32:$icon" "$ref" null: 2>&1)" = 0 ] ||
            fail "${size}px icon is not picture 5 scaled by nearest neighbour"
    done
}

# --- cmake --install into a scratch prefix.
cmake --install "$BUILD" --prefix "$TMP/prefix" >"$TMP/install.log" 2>&1 || fail "cmake --install: $(cat "$TMP/install.log")"
check_tree "$TMP/prefix"
echo "-- cmake --install: files in place, entries valid"

# --- The Debian package.
(cd "$TMP" && cpack --config "$BUILD/CPackConfig.cmake" -G DEB -B "$TMP/deb" >"$TMP/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$TMP/cpack.log")"
DEB=$(ls "$TMP"/deb/tellavo_*.deb 2>/dev/null | head -1)
[ -n "$DEB" ] || fail "no package built"
depends=$(dpkg-deb -f "$DEB" Depends)
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6; do
    echo "$depends" | grep -q "$lib (>=" || fail "Depends lacks $lib: $depends"
done
for pkg in qt6-translations-l10n fonts-wine; do
    echo "$depends" | grep -Eq "(^|, )$pkg(,|$)" || fail "Depends lacks $pkg: $depends"
done
echo "-- Depends: $depends"
dpkg -x "$DEB" "$TMP/root" || fail "dpkg -x"
check_tree "$TMP/root/usr"
for f in usr/share/doc/tellavo/copyright usr/share/doc/tellavo/changelog.Debian.gz usr/share/man/man1/tellavo.1.gz; do
    [ -f "$TMP/root/$f" ] || fail "package lacks $f"
done
# Nothing outside /usr.
[ "$(ls "$TMP/root")" = usr ] || fail "package writes outside /usr: $(ls "$TMP/root")"
echo "-- package $(basename "$DEB"): files in place"

if command -v lintian >/dev/null; then
    lintian "$DEB" >"$TMP/lintian.log" 2>&1
    if grep -q '^E:' "$TMP/lintian.log"; then
        fail "lintian errors: $(grep '^E:' "$TMP/lintian.log")"
    fi
    echo "-- lintian: no errors ($(grep -c '^W:' "$TMP/lintian.log") warnings)"
else
    echo "-- lintian not installed: skipped"
fi
echo PASS
