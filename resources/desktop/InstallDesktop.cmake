# Run at install time, when the final prefix is known: writes the launcher and the desktop file
# with the absolute paths of this installation. Expects VANTREL_SOURCE, VANTREL_BINARY,
# VANTREL_APP_ID and the GNUInstallDirs directories VANTREL_BINDIR, VANTREL_LIBEXECDIR,
# VANTREL_DATADIR; for the cleaning service VANTREL_UNITS_SOURCE and VANTREL_USER_UNIT_DIR.
foreach(dir BINDIR LIBEXECDIR DATADIR USER_UNIT_DIR)
  if(IS_ABSOLUTE "${VANTREL_${dir}}")
    set(full_${dir} "${VANTREL_${dir}}")
  else()
    set(full_${dir} "${CMAKE_INSTALL_PREFIX}/${VANTREL_${dir}}")
  endif()
endforeach()

set(VANTREL_PROGRAM "${full_BINDIR}/vantrel")
set(VANTREL_LANGUAGE_DIR "${full_DATADIR}/vantrel/Language")
set(VANTREL_STARTER_DIR "${full_DATADIR}/vantrel/starter")
set(launcher "${full_LIBEXECDIR}/vantrel/vantrel-launch")
# A desktop file's Exec reads "%" as a field code: "%%" is a plain one.
string(REPLACE "%" "%%" desktop_launcher "${launcher}")
if(launcher MATCHES " ")
  set(VANTREL_LAUNCHER_EXEC "\"${desktop_launcher}\"")
else()
  set(VANTREL_LAUNCHER_EXEC "${desktop_launcher}")
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

# systemd reads "%" as a specifier and a quoted path with C escapes.
string(REPLACE "\\" "\\\\" unit_launcher "${launcher}")
string(REPLACE "\"" "\\\"" unit_launcher "${unit_launcher}")
string(REPLACE "%" "%%" unit_launcher "${unit_launcher}")
set(VANTREL_LAUNCHER_UNIT "\"${unit_launcher}\"")
configure_file("${VANTREL_UNITS_SOURCE}/vantrel-clean.service.in"
  "${VANTREL_BINARY}/vantrel-clean.service" @ONLY)
file(INSTALL "${VANTREL_BINARY}/vantrel-clean.service" DESTINATION "${full_USER_UNIT_DIR}")
