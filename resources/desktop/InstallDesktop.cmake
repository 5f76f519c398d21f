# Run at install time, when the final prefix is known: writes the launcher and the desktop file
# with the absolute paths of this installation. Expects VANTREL_SOURCE, VANTREL_BINARY,
# VANTREL_APP_ID and the GNUInstallDirs directories VANTREL_BINDIR, VANTREL_LIBEXECDIR,
# VANTREL_DATADIR.
foreach(dir BINDIR LIBEXECDIR DATADIR)
  if(IS_ABSOLUTE "${VANTREL_${dir}}")
    set(full_${dir} "${VANTREL_${dir}}")
  else()
    set(full_${dir} "${CMAKE_INSTALL_PREFIX}/${VANTREL_${dir}}")
  endif()
endforeach()

set(VANTREL_PROGRAM "${full_BINDIR}/vantrel")
set(VANTREL_LANGUAGE_DIR "${full_DATADIR}/vantrel/Language")
set(launcher "${full_LIBEXECDIR}/vantrel/vantrel-launch")
if(launcher MATCHES " ")
  set(VANTREL_LAUNCHER_EXEC "\"${launcher}\"")
else()
  set(VANTREL_LAUNCHER_EXEC "${launcher}")
endif()

configure_file("${VANTREL_SOURCE}/vantrel-launch.in" "${VANTREL_BINARY}/vantrel-launch" @ONLY)
configure_file("${VANTREL_SOURCE}/vantrel.desktop.in" "${VANTREL_BINARY}/${VANTREL_APP_ID}.desktop"
  @ONLY)
file(INSTALL "${VANTREL_BINARY}/vantrel-launch"
  DESTINATION "${full_LIBEXECDIR}/vantrel"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                   WORLD_EXECUTE)
file(INSTALL "${VANTREL_BINARY}/${VANTREL_APP_ID}.desktop"
  DESTINATION "${full_DATADIR}/applications")
