# `make deb`: a Debian package of everything `make install` installs, below /usr. Its library
# dependencies are computed by dpkg-shlibdeps; StagePackage.cmake adds what Debian asks of every
# package (copyright, changelog, a compressed manual page) to the staged tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Nelvor Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Nelvor Software <support@nelvor.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and delete unneeded files")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel lists the files on the chosen drives whose names fit one of the\n"
    "user's file masks (such as *.tmp) and none of the exceptions, optionally\n"
    "everything below temporary directories and the browser's cache, and deletes\n"
    "the ticked findings. A check can run unattended from the command line or\n"
    "weekly from a systemd user timer.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The launcher, desktop file and service are written at install time with the final paths:
# they must see /usr as the prefix, not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://nelvor.example.com/")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/StagePackage.cmake")
include(CPack)
