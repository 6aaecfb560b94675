# korvalux-service's Windows parts under Wine: the WinINet fetcher against the
# loopback server, and the real korvalux-service.exe started as a process.
if(NOT WIN32 OR NOT KORVALUX_BUILD_SERVICE)
  return()
endif()
korvalux_add_test(service_wininet PLAIN TIMEOUT 120 LIBS korvalux_service_core ws2_32
                  SOURCES ${CMAKE_CURRENT_LIST_DIR}/loopback_http_server.cpp)
target_include_directories(service_wininet_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})

# The process, started by a gtest built for Windows.
korvalux_add_test(service_exe PLAIN TIMEOUT 180 LIBS ws2_32
                  SOURCES ${CMAKE_CURRENT_LIST_DIR}/service_exe_process.cpp)
target_include_directories(service_exe_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(service_exe_test PRIVATE
  KORVALUX_SERVICE_EXE=L"$<TARGET_FILE:korvalux-service>")
add_dependencies(service_exe_test korvalux-service)

# The console control events' effect, in-process.
korvalux_add_test(service_console PLAIN TIMEOUT 60 LIBS korvalux_service_core)
