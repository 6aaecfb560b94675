# Installs a build into a scratch DESTDIR and checks that the desktop program's
# files land where the program and desktop environments look for them: the
# hand cursor beside the executable, the entry and the icon under share/.
# Run by ctest as: cmake -DBUILD_DIR=... -DDEST=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST} ${CMAKE_COMMAND} --install ${BUILD_DIR}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(missing "")
foreach(file bin/korvalux bin/HAND-M.CUR share/applications/korvalux.desktop
             share/icons/hicolor/scalable/apps/korvalux.svg)
  if(NOT EXISTS ${DEST}${PREFIX}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
file(REMOVE_RECURSE ${DEST})
if(missing)
  message(FATAL_ERROR "not installed under ${PREFIX}: ${missing}")
endif()
