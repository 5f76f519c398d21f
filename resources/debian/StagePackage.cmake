# Runs in CPack between the staging install and the packing: adds the copyright file and the
# changelog, and compresses the manual page and the changelog as Debian requires.
message(STATUS "dir ${CPACK_TEMPORARY_DIRECTORY} install ${CPACK_TEMPORARY_INSTALL_DIRECTORY} prefix ${CPACK_PACKAGING_INSTALL_PREFIX}")
file(GLOB_RECURSE staged LIST_DIRECTORIES false RELATIVE "${CPACK_TEMPORARY_DIRECTORY}" "${CPACK_TEMPORARY_DIRECTORY}/*")
message(STATUS "${staged}")
