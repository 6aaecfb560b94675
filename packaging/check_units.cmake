# Installs a build into a scratch DESTDIR and has systemd-analyze verify its two
# user units as a user manager would load them. ExecStart names the program
# under the real prefix, so the copies checked point into DESTDIR instead. No
# running systemd is needed, only a runtime folder. Any complaint fails, since
# verify reports unknown keys without failing.
# Run by ctest as: cmake -DBUILD_DIR=... -DDEST=... -DPREFIX=... -DSYSTEMD_ANALYZE=... -P check_units.cmake
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST}/root ${CMAKE_COMMAND} --install ${BUILD_DIR}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
file(MAKE_DIRECTORY ${DEST}/units ${DEST}/runtime)
set(units "")
foreach(unit korvalux-service.socket korvalux-service.service)
  file(READ ${DEST}/root${PREFIX}/lib/systemd/user/${unit} text)
  string(REPLACE "${PREFIX}/bin/" "${DEST}/root${PREFIX}/bin/" text "${text}")
  file(WRITE ${DEST}/units/${unit} "${text}")
  list(APPEND units ${DEST}/units/${unit})
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${DEST}/runtime
                        ${SYSTEMD_ANALYZE} --user verify --man=no ${units}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE ${DEST})
if(NOT rc EQUAL 0 OR out OR err)
  message(FATAL_ERROR "systemd-analyze verify: ${rc}\n${out}${err}")
endif()
