# `cpack -G DEB` in the build folder makes a Debian package of what `cmake --install` installs.
# Its library dependencies (Qt, zlib, libdeflate, libisofs, libburn) come from the programs
# themselves through dpkg-shlibdeps (package dpkg-dev), so they follow whatever the build linked.
set(CPACK_PACKAGE_NAME torvinel)
set(CPACK_PACKAGE_VENDOR Quenmark)
set(CPACK_PACKAGE_CONTACT Quenmark)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up files onto CD and DVD discs, and restore them")
# Debian shows the description in 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Torvinel keeps your files on write-once CD and DVD discs (or disc images) as
ZIP archives with a catalog per archive, and restores them from there. It has a
Qt window (torvinel) and a command line (torvinel-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window opens a restored folder and its web address with xdg-open; without it only
# that does not happen.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
# Compressed manual pages and the copyright file; `bash scripts/check_deb.sh` installs the
# package on a clean Debian 12 and runs both programs there.
set(CPACK_TORVINEL_COPYRIGHT ${PROJECT_SOURCE_DIR}/data/debian/copyright)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianPackageFiles.cmake)
include(CPack)
