# The files that travel with the desktop program: the hand cursor, drawn by
# packaging/make_hand_cursor.cpp at build time and copied beside korvalux (the
# window looks for it in its own folder), the installation into the usual
# places (program, cursor, .desktop entry, icon), and the .deb of both
# programs through CPack. Included by the root CMakeLists.txt after every
# folder, so the korvalux and korvalux-service targets already exist here.
include(GNUInstallDirs)

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
    install(FILES ${KORVALUX_HAND_CURSOR} DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/../packaging/korvalux.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/../packaging/korvalux.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
endif()

if(KORVALUX_BUILD_TESTS AND NOT KORVALUX_FUZZ)
  if(TARGET korvalux)
    add_test(NAME install_layout
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     -DDEST=${CMAKE_BINARY_DIR}/install-check -DPREFIX=${CMAKE_INSTALL_PREFIX}
                     -P ${CMAKE_CURRENT_LIST_DIR}/../packaging/check_install.cmake)
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
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvalux)
set(CPACK_PACKAGE_VENDOR "Vantoril")
set(CPACK_PACKAGE_CONTACT "Vantoril <korvalux@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small desktop currency converter and its converter web service")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvalux converts an amount from one currency to another by asking a converter\n\
web service, and remembers the two chosen currencies between runs. The package\n\
holds the desktop program (korvalux) and the converter service (korvalux-service).")
# The programs find their installed files by the prefix they were built with,
# so the package keeps it: configure with -DCMAKE_INSTALL_PREFIX=/usr for a .deb.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Metric twins of Arial, the window's font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
set(CPACK_STRIP_FILES ON)
include(CPack)
