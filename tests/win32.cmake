# The Windows platform layer and the Win32 window, in-process under Wine, with
# the loopback test server built for Windows too.
if(NOT WIN32)
  return()
endif()
foreach(unit win32_platform form1_window)
  korvalux_add_test(${unit} PLAIN TIMEOUT 120 LIBS korvalux_win32 ws2_32
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/loopback_http_server.cpp)
  target_include_directories(${unit}_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endforeach()
add_dependencies(form1_window_test korvalux_hand_cursor_file)
