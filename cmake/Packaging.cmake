# Install rules and the Debian package (cpack -G DEB): brackwell-cli, its man
# page and bash completion, and with the window brackwell, its menu entry,
# icons, AppStream metadata and man page. The man pages, the PNG icons and the
# compressed changelog are made at build time.
include(GNUInstallDirs)

set(BRACKWELL_HOMEPAGE "https://brackwell.org" CACHE STRING "Home page named by the package and its metadata")
set(BRACKWELL_MAINTAINER "Brackwell developers <packages@brackwell.org>" CACHE STRING "Maintainer of the package")
set(BRACKWELL_APP_ID org.brackwell.Brackwell)

find_program(BRACKWELL_HELP2MAN help2man REQUIRED)
find_program(BRACKWELL_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(BRACKWELL_GZIP gzip REQUIRED)

set(packaging_src ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})

# The release is the changelog's top entry: its version must be the project's,
# and its date dates the man pages and the metadata.
file(STRINGS ${packaging_src}/changelog changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^brackwell \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the top entry is not version ${PROJECT_VERSION}: ${changelog_head}")
endif()
list(FILTER changelog_lines INCLUDE REGEX "^ -- ")
list(GET changelog_lines 0 changelog_trailer)
if(NOT changelog_trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: no date in the top entry: ${changelog_trailer}")
endif()
set(release_day ${CMAKE_MATCH_1})
set(release_year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} release_month)
math(EXPR release_month "${release_month} + 1" OUTPUT_FORMAT DECIMAL)
if(release_month LESS 10)
  set(release_month 0${release_month})
endif()
set(BRACKWELL_RELEASE_DATE_ISO ${release_year}-${release_month}-${release_day})
set(BRACKWELL_RELEASE_DATE ${BRACKWELL_RELEASE_DATE_ISO})
# help2man and gzip write no build time into what they make.
execute_process(COMMAND date -u -d "${BRACKWELL_RELEASE_DATE_ISO}" +%s
                OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# brackwell_gzip(OUTPUT file.gz INPUT file [DEPENDS ...]): compressed at build time.
function(brackwell_gzip)
  cmake_parse_arguments(arg "" "OUTPUT;INPUT" "DEPENDS" ${ARGN})
  add_custom_command(OUTPUT ${arg_OUTPUT}
    COMMAND ${BRACKWELL_GZIP} -9n -c ${arg_INPUT} > ${arg_OUTPUT}
    DEPENDS ${arg_INPUT} ${arg_DEPENDS})
endfunction()

# The man page of brackwell-cli is its own --help and --version, so the two
# cannot drift apart.
add_custom_command(OUTPUT ${packaging_out}/brackwell-cli.1
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_epoch}
          ${BRACKWELL_HELP2MAN} --no-info --section=1
          --include=${packaging_src}/brackwell-cli.h2m
          --output=${packaging_out}/brackwell-cli.1 $<TARGET_FILE:brackwell-cli>
  DEPENDS brackwell-cli ${packaging_src}/brackwell-cli.h2m
  VERBATIM)
brackwell_gzip(OUTPUT ${packaging_out}/brackwell-cli.1.gz INPUT ${packaging_out}/brackwell-cli.1)
brackwell_gzip(OUTPUT ${packaging_out}/changelog.gz INPUT ${packaging_src}/changelog)
set(packaging_outputs ${packaging_out}/brackwell-cli.1.gz ${packaging_out}/changelog.gz)

install(TARGETS brackwell-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_out}/brackwell-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_src}/brackwell-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME brackwell-cli)
install(FILES ${packaging_src}/copyright ${packaging_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brackwell)

if(BRACKWELL_BUILD_UI)
  configure_file(${packaging_src}/brackwell.1.in ${packaging_out}/brackwell.1 @ONLY)
  configure_file(${packaging_src}/${BRACKWELL_APP_ID}.metainfo.xml.in
                 ${packaging_out}/${BRACKWELL_APP_ID}.metainfo.xml @ONLY)
  brackwell_gzip(OUTPUT ${packaging_out}/brackwell.1.gz INPUT ${packaging_out}/brackwell.1)
  list(APPEND packaging_outputs ${packaging_out}/brackwell.1.gz)

  # The program's own picture, drawn at the usual sizes of the hicolor theme.
  set(app_icon ${PROJECT_SOURCE_DIR}/ui/icons/app.svg)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${packaging_out}/icons/${size}x${size}/brackwell.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/icons/${size}x${size}
      COMMAND ${BRACKWELL_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${app_icon}
      DEPENDS ${app_icon}
      VERBATIM)
    list(APPEND packaging_outputs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()

  # Every picture of the window is SVG, drawn by Qt's SVG plugins, which are
  # loaded at run time and so invisible to dpkg-shlibdeps. Keeping the SVG
  # library a needed one of the program (the linker would drop it, as no code
  # calls it) makes dpkg-shlibdeps name the package that carries the plugins.
  find_package(Qt6 REQUIRED COMPONENTS Svg)
  get_target_property(qt_svg_library Qt6::Svg LOCATION)
  target_link_options(brackwell PRIVATE "LINKER:--push-state,--no-as-needed"
                      "${qt_svg_library}" "LINKER:--pop-state")

  install(TARGETS brackwell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${packaging_out}/brackwell.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${app_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME brackwell.svg)
  install(FILES ${packaging_src}/${BRACKWELL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${packaging_out}/${BRACKWELL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The window's translations, where it looks for them beside its own folder
  # (../share/brackwell/translations), made by lrelease at build time.
  install(FILES ${BRACKWELL_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/brackwell/translations)
endif()

add_custom_target(brackwell_packaging_data ALL DEPENDS ${packaging_outputs})

# The Debian package (the summary is its synopsis, the description its
# extended text). Its dependencies are what dpkg-shlibdeps finds the
# programs linked against.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brackwell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Brackwell developers")
set(CPACK_PACKAGE_CONTACT ${BRACKWELL_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "eDonkey2000 and FileSpree file hasher and link maker")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Brackwell hashes files for the eDonkey2000 network (MD4 over 9,728,000-byte
chunks) and for FileSpree (MD5), makes ed2k and fs links of them, exports
share lists in plain text or HTML, and reads the .part.met descriptors of
unfinished eDonkey2000 downloads.

The package holds the desktop program, with its menu entry, and
brackwell-cli, the command-line front end for scripts.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BRACKWELL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations (its standard buttons and file dialogs) are data that
# no library links to: the window works without them, in English where ours
# are not, so they are recommended rather than required.
if(BRACKWELL_BUILD_UI)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
