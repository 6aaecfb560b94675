# What korvalux-service needs from outside, for the MinGW compiler, made by this
# same configure and build (included from cmake/windows.cmake):
# - pugixml: Debian ships no MinGW build of it, so Debian's own source package is
#   fetched into the build tree (`apt-get source`, which needs a deb-src entry and
#   dpkg-dev; scripts/install-deps sees to both) and built here, static, with this
#   toolchain. KORVALUX_PUGIXML_SOURCE names an unpacked source to use instead,
#   for an archive that lists the source package but does not serve it.
# - Boost (Asio, Beast, and System, header-only since 1.69) and nlohmann_json are
#   header-only: the compiler sees only their two folders, through links in the
#   build tree, never the rest of /usr/include, whose headers are the host's.
# The targets carry the names the Linux build's find_package calls give, so
# service/CMakeLists.txt links the same names on both.
include(ExternalProject)

set(korvalux_pugixml_root ${CMAKE_BINARY_DIR}/pugixml)
set(korvalux_pugixml_prefix ${korvalux_pugixml_root}/install)
set(korvalux_pugixml_library ${korvalux_pugixml_prefix}/lib/libpugixml.a)
set(KORVALUX_PUGIXML_SOURCE "" CACHE PATH "An unpacked pugixml source (default: apt-get source)")
if(KORVALUX_PUGIXML_SOURCE)
  set(korvalux_pugixml_fetch "cp -R '${KORVALUX_PUGIXML_SOURCE}' pugixml-given")
else()
  # apt-get source unpacks into pugixml-<version> with Debian's patches applied.
  set(korvalux_pugixml_fetch "apt-get source -qq pugixml >/dev/null")
endif()
ExternalProject_Add(korvalux_pugixml
  PREFIX ${korvalux_pugixml_root}
  DOWNLOAD_DIR ${korvalux_pugixml_root}/download
  SOURCE_DIR ${korvalux_pugixml_root}/source
  DOWNLOAD_COMMAND sh -c "rm -rf pugixml-* && ${korvalux_pugixml_fetch} \
&& rm -rf '${korvalux_pugixml_root}/source' && mv pugixml-*/ '${korvalux_pugixml_root}/source'"
  UPDATE_COMMAND ""
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${korvalux_pugixml_prefix}
    -DCMAKE_INSTALL_LIBDIR=lib
    -DBUILD_SHARED_LIBS=OFF
    -DPUGIXML_BUILD_TESTS=OFF
    -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
  BUILD_BYPRODUCTS ${korvalux_pugixml_library})
file(MAKE_DIRECTORY ${korvalux_pugixml_prefix}/include)
add_library(pugixml::pugixml STATIC IMPORTED GLOBAL)
set_target_properties(pugixml::pugixml PROPERTIES
  IMPORTED_LOCATION ${korvalux_pugixml_library}
  INTERFACE_INCLUDE_DIRECTORIES ${korvalux_pugixml_prefix}/include)
add_dependencies(pugixml::pugixml korvalux_pugixml)

set(korvalux_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${korvalux_host_headers})
foreach(dir boost nlohmann)
  if(NOT IS_DIRECTORY /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${korvalux_host_headers}/${dir} SYMBOLIC)
endforeach()
# Imported, so their headers are system headers: no warnings of theirs.
add_library(Boost::headers INTERFACE IMPORTED GLOBAL)
set_target_properties(Boost::headers PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${korvalux_host_headers}
  # Asio's sockets on Windows.
  INTERFACE_LINK_LIBRARIES "ws2_32;mswsock")
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${korvalux_host_headers})

add_subdirectory(${PROJECT_SOURCE_DIR}/service ${CMAKE_BINARY_DIR}/service)
