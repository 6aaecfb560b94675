# Installs a build into a scratch DESTDIR and checks that every file lands where
# the programs, the desktop, man and systemd look for it: programs alone in
# bin/, the hand cursor in share/korvalux, the entry and the icon, the gzipped
# manual pages, copyright and changelog, and (with the service) its snapshot and
# both user units.
# Run by ctest as: cmake -DBUILD_DIR=... -DDEST=... -DPREFIX=... -DWITH_SERVICE=0|1 -P check_install.cmake
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST} ${CMAKE_COMMAND} --install ${BUILD_DIR}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(expected
    bin/korvalux share/korvalux/HAND-M.CUR share/applications/korvalux.desktop
    share/metainfo/example.korvalux.Korvalux.metainfo.xml
    share/icons/hicolor/scalable/apps/korvalux.svg share/man/man1/korvalux.1.gz
    share/doc/korvalux/copyright share/doc/korvalux/changelog.gz)
if(WITH_SERVICE)
  list(APPEND expected bin/korvalux-service share/man/man1/korvalux-service.1.gz
       share/korvalux-service/eurofxref-daily-2026-07-06.xml
       lib/systemd/user/korvalux-service.service lib/systemd/user/korvalux-service.socket)
endif()
set(missing "")
foreach(file IN LISTS expected)
  if(NOT EXISTS ${DEST}${PREFIX}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
# Nothing but programs in bin/.
file(GLOB in_bin RELATIVE ${DEST}${PREFIX}/bin ${DEST}${PREFIX}/bin/*)
list(REMOVE_ITEM in_bin korvalux korvalux-service)
# A gzip member that keeps no name and no time: bytes 4-7 (MTIME) are zero and
# the FNAME flag (bit 3 of byte 3) is clear.
set(stamped "")
foreach(file IN LISTS expected)
  if(file MATCHES "\\.gz$" AND EXISTS ${DEST}${PREFIX}/${file})
    file(READ ${DEST}${PREFIX}/${file} head LIMIT 8 HEX)
    if(NOT head MATCHES "^1f8b080000000000$")
      list(APPEND stamped ${file})
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE ${DEST})
if(missing)
  message(FATAL_ERROR "not installed under ${PREFIX}: ${missing}")
endif()
if(in_bin)
  message(FATAL_ERROR "not programs, yet installed in ${PREFIX}/bin: ${in_bin}")
endif()
if(stamped)
  message(FATAL_ERROR "gzipped with a name or a time stamp: ${stamped}")
endif()
