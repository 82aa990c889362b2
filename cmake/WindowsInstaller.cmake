# The Windows installer (NSIS): target brackwell_installer makes
# brackwell-VERSION-setup.exe in the build folder from the two programs
# (packaging/windows/brackwell.nsi says what it installs).
find_program(BRACKWELL_MAKENSIS makensis)
if(NOT BRACKWELL_MAKENSIS)
  message(STATUS "No makensis: no Windows installer (Debian package nsis)")
  return()
endif()
set(BRACKWELL_INSTALLER ${PROJECT_BINARY_DIR}/brackwell-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}-setup.exe)
set(nsi ${PROJECT_SOURCE_DIR}/packaging/windows/brackwell.nsi)
add_custom_command(OUTPUT ${BRACKWELL_INSTALLER}
  COMMAND ${BRACKWELL_MAKENSIS} -V2 -NOCD
          -DVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}
          -DBRACKWELL_EXE=$<TARGET_FILE:brackwell> -DCLI_EXE=$<TARGET_FILE:brackwell-cli>
          -DICON=${PROJECT_BINARY_DIR}/app/icon/brackwell.ico -DOUTFILE=${BRACKWELL_INSTALLER} ${nsi}
  DEPENDS brackwell brackwell-cli ${nsi}
  VERBATIM)
add_custom_target(brackwell_installer DEPENDS ${BRACKWELL_INSTALLER})
