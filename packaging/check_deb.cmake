# Builds the .deb the way the README's Installing section does (a Release tree
# with the /usr prefix, no tests), then runs lintian on it: any error or
# warning fails. The tree is kept between runs, so only changes are rebuilt.
# Run by ctest as: cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DLINTIAN=... [-DLAUNCHER=ccache] -P check_deb.cmake
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}${err}")
  endif()
  set(output "${out}${err}" PARENT_SCOPE)
endfunction()

set(launcher "")
if(LAUNCHER)
  set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
run("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=/usr -DKORVALUX_BUILD_TESTS=OFF -DKORVALUX_BUILD_BENCH=OFF ${launcher})
run("build" ${CMAKE_COMMAND} --build ${BUILD_DIR})
file(GLOB old ${BUILD_DIR}/korvalux_*.deb)
if(old)
  file(REMOVE ${old})
endif()
run("cpack" ${CMAKE_COMMAND} -E chdir ${BUILD_DIR} cpack -G DEB)
file(GLOB debs ${BUILD_DIR}/korvalux_*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one korvalux_*.deb in ${BUILD_DIR}, found: ${debs}")
endif()
# --fail-on error,warning turns every warning into a failure as well.
run("lintian" ${LINTIAN} --fail-on error,warning --tag-display-limit 0 ${debs})
message("lintian on ${debs}:\n${output}")
