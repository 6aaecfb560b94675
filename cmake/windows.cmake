# The Windows build (cross-built with cmake/mingw-w64-x86_64.cmake): the core,
# the Win32 window korvalux.exe, the service korvalux-service.exe
# (cmake/windows-service.cmake), and their tests, which ctest runs under Wine in
# a private prefix (scripts/lib/wine-run). The hand cursor's generator is a host
# tool, built for this machine by a sub-build of the same configure.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX
  WIN32_LEAN_AND_MEAN)
# Everything static: korvalux.exe needs no DLL beyond Windows' own.
add_link_options(-static)

# The hand cursor, drawn by the host tool at build time.
include(ExternalProject)
ExternalProject_Add(korvalux_host_tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging/host
  BINARY_DIR ${CMAKE_BINARY_DIR}/host-tools
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/host-tools/make-hand-cursor
  INSTALL_COMMAND "")
set(KORVALUX_HAND_CURSOR ${CMAKE_BINARY_DIR}/win32/HAND-M.CUR)
add_custom_command(OUTPUT ${KORVALUX_HAND_CURSOR}
  COMMAND ${CMAKE_BINARY_DIR}/host-tools/make-hand-cursor ${KORVALUX_HAND_CURSOR}
  DEPENDS korvalux_host_tools
  COMMENT "Drawing HAND-M.CUR")
add_custom_target(korvalux_hand_cursor_file ALL DEPENDS ${KORVALUX_HAND_CURSOR})

add_subdirectory(win32)
if(KORVALUX_BUILD_SERVICE)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-service.cmake)
endif()

# The start-up benchmark's baseline: bench/wine_startup.sh times korvalux.exe
# against it under Wine.
if(KORVALUX_BUILD_BENCH)
  add_executable(bare_win32 WIN32 ${PROJECT_SOURCE_DIR}/bench/bare_win32.cpp)
  target_link_options(bare_win32 PRIVATE -municode)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/windows-installer.cmake)

if(NOT KORVALUX_BUILD_TESTS)
  return()
endif()
enable_testing()
# GoogleTest from Debian's sources, built by this compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Every Windows test runs under Wine, in the prefix this build owns, started
# once (its server, Xvfb when there is no display) and stopped at the end.
set(KORVALUX_WINE_RUN ${PROJECT_SOURCE_DIR}/scripts/lib/wine-run)
set(KORVALUX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVALUX_WINE_RUN} --prefix ${KORVALUX_WINEPREFIX} --)
add_test(NAME wine_prefix_start COMMAND ${KORVALUX_WINE_RUN} --prefix ${KORVALUX_WINEPREFIX} --start)
add_test(NAME wine_prefix_stop COMMAND ${KORVALUX_WINE_RUN} --prefix ${KORVALUX_WINEPREFIX} --stop)
set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# korvalux_add_test(<unit> PLAIN [TIMEOUT s] [LIBS lib...] [SOURCES extra...]):
# the same call as the Linux build's; one ctest test per executable.
function(korvalux_add_test unit)
  cmake_parse_arguments(ARG "GUI;PLAIN" "TIMEOUT" "LIBS;SOURCES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(NOT ARG_PLAIN)
    return()
  endif()
  add_executable(${unit}_test ${PROJECT_SOURCE_DIR}/tests/${unit}_test.cpp ${ARG_SOURCES})
  target_link_libraries(${unit}_test PRIVATE GTest::gtest_main ${ARG_LIBS})
  add_test(NAME ${unit} COMMAND ${unit}_test)
  set_tests_properties(${unit} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${ARG_TIMEOUT})
endfunction()

include(${PROJECT_SOURCE_DIR}/tests/core.cmake)
include(${PROJECT_SOURCE_DIR}/tests/transfer.cmake)
include(${PROJECT_SOURCE_DIR}/tests/win32.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/tests/service.cmake)
include(${PROJECT_SOURCE_DIR}/tests/service_windows.cmake OPTIONAL)
