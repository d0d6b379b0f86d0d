# A Debian package of the installed files, built by CPack (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tellavo)
set(CPACK_PACKAGE_VENDOR "Ambrovia")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "battery charge indicator for the desktop")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tellavo keeps a small strip on the desktop that shows the battery's\ncharge as text, as a bar and as a status picture, and warns once when\nthe charge falls to a chosen threshold while running on battery.")
set(CPACK_PACKAGE_CONTACT "Tellavo developers <tellavo@ambrovia.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the libraries the program really links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# And what it reads at start: Qt's Italian strings and a face with Tahoma's metrics.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, fonts-wine")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
include(CPack)
