# The one bounded GET of both windows and the service, against the loopback
# server: libcurl on Linux, WinINet under Wine on Windows. Plain GoogleTest.
if(NOT TARGET korvalux_transfer)
  return()
endif()
if(WIN32)
  korvalux_add_test(wininet_transfer PLAIN TIMEOUT 120 LIBS korvalux_transfer ws2_32
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/loopback_http_server.cpp)
  if(TARGET wininet_transfer_test)
    target_include_directories(wininet_transfer_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(wininet_transfer_test PRIVATE wininet)
  endif()
else()
  korvalux_add_test(curl_transfer PLAIN LIBS korvalux_transfer CURL::libcurl
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/loopback_http_server.cpp)
endif()
