# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads
# compilers of g++-mingw-w64-x86-64-posix, so std::thread works):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Tests run under Wine; see cmake/windows.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVALUX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVALUX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVALUX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVALUX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVALUX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
