#!/usr/bin/env bash
# Installs what the build and the package (and, with "test", the test suite;
# with "bench", the frugality benchmark) need and is not already on the
# machine. Debian 12 or Ubuntu; apt-get needs root or sudo.
set -euo pipefail

# libxcb1-dev: the window manager hints go over Qt's own X connection.
build_pkgs=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev libxcb1-dev)
# What the program uses at run time beyond Qt: Qt's Italian strings, and a
# free face with Tahoma's metrics.
run_pkgs=(qt6-translations-l10n fonts-wine)
test_pkgs=(xvfb openbox xdotool x11-utils x11-xserver-utils imagemagick dbus python3 python3-dbusmock
           python3-gi umockdev gir1.2-umockdev-1.0 upower fonts-dejavu-core at-spi2-core python3-pyatspi
           clang libclang-rt-14-dev llvm python3-fusepy fuse3
           xfwm4 i3-wm mutter sway xwayland grim locales)

package_pkgs=(dpkg-dev file gzip)
check_pkgs=(desktop-file-utils appstream lintian)
# The benchmark: the two peer indicators, a system tray for cbatticon, the
# profilers, and the X DAMAGE client library its repaint counter uses.
bench_pkgs=(cbatticon xbattbar trayer valgrind heaptrack strace pkg-config libxcb-damage0-dev
            util-linux procps)

# KWin for the desktop tests, with the title bars KDE users see (Breeze) but
# without its other recommends (they would bring all of Plasma).
lean_test_pkgs=(kwin-x11 kwin-wayland kwin-style-breeze)

want=("${build_pkgs[@]}" "${run_pkgs[@]}" "${package_pkgs[@]}")
lean=()
case "${1:-}" in
test)
    want+=("${test_pkgs[@]}" "${check_pkgs[@]}")
    lean+=("${lean_test_pkgs[@]}")
    ;;
bench) want+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
esac

not_installed() {
    local p
    for p; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}
mapfile -t missing < <(not_installed "${want[@]}")
mapfile -t missing_lean < <(not_installed "${lean[@]}")
# The number texts' test runs again under an Italian C locale.
italian=
[ "${1:-}" = test ] && ! locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8' && italian=yes
[ ${#missing[@]} -eq 0 ] && [ ${#missing_lean[@]} -eq 0 ] && [ -z "$italian" ] && exit 0

echo "Installo: ${missing[*]} ${missing_lean[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
[ ${#missing[@]} -eq 0 ] || $SUDO apt-get install -y -qq "${missing[@]}"
[ ${#missing_lean[@]} -eq 0 ] || $SUDO apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
if [ -n "$italian" ]; then
    # Kept by Debian's locale-gen; made here the same way on Debian and Ubuntu.
    grep -qx 'it_IT.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'it_IT.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO localedef -i it_IT -c -f UTF-8 -A /usr/share/locale/locale.alias it_IT.UTF-8
fi
