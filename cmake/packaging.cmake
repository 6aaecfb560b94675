# The files that travel with the programs: the hand cursor, drawn by
# packaging/make_hand_cursor.cpp at build time and copied beside korvalux (the
# window looks there first, then in share/korvalux), the installation into the
# usual places (programs, cursor, .desktop entry, icon, manual pages, copyright,
# changelog), and the .deb of both programs through CPack with its maintainer
# scripts. Included by the root CMakeLists.txt after every folder, so the
# korvalux and korvalux-service targets already exist here.
include(GNUInstallDirs)
set(korvalux_packaging_dir ${CMAKE_CURRENT_LIST_DIR}/../packaging)

# Manual pages and the changelog go in gzipped without name or time stamp, so
# the same sources give the same package.
function(korvalux_gzip input output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${input} ${output}
    DEPENDS ${input}
    VERBATIM)
endfunction()

if(KORVALUX_BUILD_APP AND NOT KORVALUX_FUZZ)
  add_executable(make-hand-cursor ${CMAKE_CURRENT_LIST_DIR}/../packaging/make_hand_cursor.cpp)
  set(KORVALUX_HAND_CURSOR ${CMAKE_BINARY_DIR}/packaging/HAND-M.CUR)
  add_custom_command(
    OUTPUT ${KORVALUX_HAND_CURSOR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND make-hand-cursor ${KORVALUX_HAND_CURSOR}
    DEPENDS make-hand-cursor
    COMMENT "Drawing HAND-M.CUR"
    VERBATIM)
  # The start-up test loads this very file.
  add_custom_target(korvalux_hand_cursor_file DEPENDS ${KORVALUX_HAND_CURSOR})

  if(TARGET korvalux)
    # Runs with every build of korvalux, so the copy beside it is never missing.
    add_custom_target(korvalux_hand_cursor ALL
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KORVALUX_HAND_CURSOR}
              $<TARGET_FILE_DIR:korvalux>/HAND-M.CUR
      DEPENDS korvalux_hand_cursor_file
      VERBATIM)
    add_dependencies(korvalux korvalux_hand_cursor)

    install(TARGETS korvalux RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${KORVALUX_HAND_CURSOR} DESTINATION ${CMAKE_INSTALL_DATADIR}/korvalux)
    install(FILES ${korvalux_packaging_dir}/korvalux.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${korvalux_packaging_dir}/korvalux.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # What software centres list: GNOME Software and KDE Discover read AppStream.
    install(FILES ${korvalux_packaging_dir}/example.korvalux.Korvalux.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  endif()

  set(KORVALUX_SERVICE_DATA_DIR ${CMAKE_INSTALL_FULL_DATADIR}/korvalux-service)
  set(korvalux_documents)
  foreach(program korvalux korvalux-service)
    if(TARGET ${program})
      configure_file(${korvalux_packaging_dir}/${program}.1.in ${CMAKE_BINARY_DIR}/packaging/${program}.1 @ONLY)
      korvalux_gzip(${CMAKE_BINARY_DIR}/packaging/${program}.1 ${CMAKE_BINARY_DIR}/packaging/${program}.1.gz)
      list(APPEND korvalux_documents ${CMAKE_BINARY_DIR}/packaging/${program}.1.gz)
      install(FILES ${CMAKE_BINARY_DIR}/packaging/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endforeach()
  configure_file(${korvalux_packaging_dir}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  korvalux_gzip(${CMAKE_BINARY_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  list(APPEND korvalux_documents ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  add_custom_target(korvalux_documents ALL DEPENDS ${korvalux_documents})
  install(FILES ${korvalux_packaging_dir}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvalux)
endif()

if(KORVALUX_BUILD_TESTS AND NOT KORVALUX_FUZZ)
  if(TARGET korvalux)
    add_test(NAME install_layout
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     -DDEST=${CMAKE_BINARY_DIR}/install-check -DPREFIX=${CMAKE_INSTALL_PREFIX}
                     -DWITH_SERVICE=$<TARGET_EXISTS:korvalux-service>
                     -P ${korvalux_packaging_dir}/check_install.cmake)
  endif()
  find_program(SYSTEMD_ANALYZE systemd-analyze)
  if(TARGET korvalux-service AND SYSTEMD_ANALYZE)
    add_test(NAME systemd_units_valid
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     -DDEST=${CMAKE_BINARY_DIR}/units-check -DPREFIX=${CMAKE_INSTALL_PREFIX}
                     -DSYSTEMD_ANALYZE=${SYSTEMD_ANALYZE}
                     -P ${korvalux_packaging_dir}/check_units.cmake)
  elseif(TARGET korvalux-service)
    add_test(NAME systemd_units_valid COMMAND ${CMAKE_COMMAND} -E echo "systemd-analyze is not installed")
    set_tests_properties(systemd_units_valid PROPERTIES SKIP_REGULAR_EXPRESSION "not installed")
  endif()
  find_program(DEB_SYSTEMD_HELPER deb-systemd-helper)
  if(TARGET korvalux-service AND DEB_SYSTEMD_HELPER)
    add_test(NAME maintainer_scripts_enable_the_socket
             COMMAND sh ${korvalux_packaging_dir}/check_maintainer_scripts.sh ${korvalux_packaging_dir}
                     ${CMAKE_BINARY_DIR}/service/korvalux-service.socket ${CMAKE_BINARY_DIR}/maintainer-scripts-check)
  endif()
  # Builds the .deb as the README says (its own Release tree under /usr, beside
  # this build) and holds it to lintian: no error, no warning. The package does
  # not depend on how this tree is built, so a sanitizer build leaves it out.
  if(TARGET korvalux-service AND NOT KORVALUX_SANITIZE)
    find_program(LINTIAN lintian)
    if(LINTIAN)
      add_test(NAME deb_package_lintian_clean
               COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                       -DBUILD_DIR=${CMAKE_BINARY_DIR}/deb-check -DLINTIAN=${LINTIAN}
                       -DLAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
                       -P ${korvalux_packaging_dir}/check_deb.cmake)
      set_tests_properties(deb_package_lintian_clean PROPERTIES TIMEOUT 3600 RUN_SERIAL ON)
    else()
      add_test(NAME deb_package_lintian_clean COMMAND ${CMAKE_COMMAND} -E echo "lintian is not installed")
      set_tests_properties(deb_package_lintian_clean PROPERTIES SKIP_REGULAR_EXPRESSION "not installed")
    endif()
  endif()
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_valid
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_CURRENT_LIST_DIR}/../packaging/korvalux.desktop)
  else()
    add_test(NAME desktop_entry_valid
             COMMAND ${CMAKE_COMMAND} -E echo "desktop-file-validate is not installed")
    set_tests_properties(desktop_entry_valid PROPERTIES SKIP_REGULAR_EXPRESSION "not installed")
  endif()
  # Offline, and clean: an error or a warning fails, notes and hints do not.
  find_program(APPSTREAMCLI appstreamcli)
  if(APPSTREAMCLI)
    add_test(NAME appstream_metainfo_valid
             COMMAND ${APPSTREAMCLI} validate --no-net
                     ${CMAKE_CURRENT_LIST_DIR}/../packaging/example.korvalux.Korvalux.metainfo.xml)
    set_tests_properties(appstream_metainfo_valid PROPERTIES FAIL_REGULAR_EXPRESSION "(^|\n)[EW]: ")
  else()
    add_test(NAME appstream_metainfo_valid COMMAND ${CMAKE_COMMAND} -E echo "appstreamcli is not installed")
    set_tests_properties(appstream_metainfo_valid PROPERTIES SKIP_REGULAR_EXPRESSION "not installed")
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvalux)
set(CPACK_PACKAGE_VENDOR "Vantoril")
set(CPACK_PACKAGE_CONTACT "Korvalux maintainers <maintainers@korvalux.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small desktop currency converter and its web service")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvalux converts an amount from one currency to another by asking a\n\
converter web service, and remembers the two chosen currencies between runs.\n\
The package holds the desktop program (korvalux) and the converter service\n\
(korvalux-service), which a systemd user socket starts on the first request.")
# The programs find their installed files by the prefix they were built with,
# so the package keeps it: configure with -DCMAKE_INSTALL_PREFIX=/usr for a .deb.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's fixed geometry assumes Arial's metrics; without a metric twin
# the labels are cut.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2 | fonts-liberation")
# Enable the socket unit for every user on install, take it back on removal.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${korvalux_packaging_dir}/postinst ${korvalux_packaging_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
