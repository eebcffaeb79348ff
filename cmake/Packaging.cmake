# The Debian package: `cpack -G DEB` in a build folder makes
# tessary_VERSION_ARCH.deb of what `cmake --install` puts under /usr, with the
# dependencies dpkg-shlibdeps finds for the programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_VENDOR Quenlor)
set(CPACK_PACKAGE_CONTACT "Quenlor <support@quenlor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair damaged or incompletely downloaded ZIP archives")
set(CPACK_PACKAGE_DESCRIPTION
    "Quenlor Tessary reads a damaged ZIP archive from end to end looking for the
records that start each entry, grades every entry it can delimit and writes a
new, well-formed archive with a rebuilt central directory. Nothing is
decompressed, so the repair is fast and works on any file. It comes as a
desktop wizard (tessary) and a command-line tool (tessary-cli).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quenlor.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The wizard under Wayland, and the fonts its texts are laid out for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-liberation2 | fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
# The install rules see the final prefix (/usr) and a staging DESTDIR, so that
# paths written into installed files name /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
