# Runs in CPack between the staging install and the packing: adds the copyright file and the
# changelog, and compresses the manual page and the changelog as Debian requires (-n: no name
# or time stamp, so the same sources give the same package).
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
# file(COPY), not file(INSTALL): CPack's DESTDIR is already part of the staging path.
file(COPY "${CMAKE_CURRENT_LIST_DIR}/copyright" DESTINATION "${doc}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
configure_file("${CMAKE_CURRENT_LIST_DIR}/changelog.in" "${doc}/changelog" @ONLY)
foreach(file "${doc}/changelog" "${usr}/share/man/man1/vantrel.1")
  file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${status}")
  endif()
endforeach()
