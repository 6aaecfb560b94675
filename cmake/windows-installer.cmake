# The Windows installer, korvalux-<version>-win64-setup.exe, beside the build:
# packaging/windows/make_setup.cmake stages the stripped programs, the cursor,
# the service's rate snapshot and the texts in package/korvalux-<version>-win64
# (which scripts/package-windows also zips as the portable form) and runs
# makensis on packaging/windows/korvalux.nsi. Needs the service's target and
# Debian's nsis; without either there is no installer target.
find_program(KORVALUX_MAKENSIS makensis)
if(NOT KORVALUX_MAKENSIS OR NOT TARGET korvalux-service)
  message(STATUS "No Windows installer: needs makensis and the korvalux-service target")
  return()
endif()

set(KORVALUX_SETUP_NAME korvalux-${PROJECT_VERSION}-win64)
set(KORVALUX_SETUP ${CMAKE_BINARY_DIR}/${KORVALUX_SETUP_NAME}-setup.exe)
# The rate snapshot the service falls back on, in data\ beside it.
file(GLOB korvalux_setup_snapshot ${PROJECT_SOURCE_DIR}/service/data/*.xml
  ${PROJECT_SOURCE_DIR}/service/data/*.json)
set(korvalux_setup_sources
  ${PROJECT_SOURCE_DIR}/packaging/windows/korvalux.nsi
  ${PROJECT_SOURCE_DIR}/packaging/windows/make_setup.cmake
  ${PROJECT_SOURCE_DIR}/packaging/windows/LICENSE.txt
  ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
  ${korvalux_setup_snapshot})
add_custom_command(OUTPUT ${KORVALUX_SETUP}
  COMMAND ${CMAKE_COMMAND}
    -DSTRIP=${CMAKE_STRIP}
    -DMAKENSIS=${KORVALUX_MAKENSIS}
    -DVERSION=${PROJECT_VERSION}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DSTAGE=${CMAKE_BINARY_DIR}/package/${KORVALUX_SETUP_NAME}
    -DOUTFILE=${KORVALUX_SETUP}
    -DWINDOW=$<TARGET_FILE:korvalux>
    -DSERVICE=$<TARGET_FILE:korvalux-service>
    -DCURSOR=${KORVALUX_HAND_CURSOR}
    "-DDATA=${korvalux_setup_snapshot}"
    -P ${PROJECT_SOURCE_DIR}/packaging/windows/make_setup.cmake
  DEPENDS korvalux korvalux-service korvalux_hand_cursor_file ${korvalux_setup_sources}
  COMMENT "Making ${KORVALUX_SETUP_NAME}-setup.exe"
  VERBATIM)
add_custom_target(korvalux_setup ALL DEPENDS ${KORVALUX_SETUP})
