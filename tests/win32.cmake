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

# Scaled screens and screen readers: the same window at the prefix's DPI, and its
# names through oleacc; tests/windows_dpi.sh runs it again at 120, 144 and 192 dpi
# in a prefix of its own.
korvalux_add_test(form1_dpi PLAIN TIMEOUT 120 LIBS korvalux_win32 oleacc ole32 oleaut32 uuid)
target_include_directories(form1_dpi_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
# korvalux.exe's resources, manifest included: a process that does not declare
# per-monitor awareness is given 96 dpi by Wine 10, as by Windows.
target_sources(form1_dpi_test PRIVATE $<TARGET_OBJECTS:korvalux_resources>)
add_dependencies(form1_dpi_test korvalux_hand_cursor_file)
add_test(NAME windows_dpi
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/windows_dpi.sh ${KORVALUX_WINE_RUN}
                 ${CMAKE_BINARY_DIR}/wineprefix-dpi $<TARGET_FILE:form1_dpi_test>)
set_tests_properties(windows_dpi PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)

add_test(NAME windows_e2e
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/windows_e2e.sh ${KORVALUX_WINE_RUN}
                 ${KORVALUX_WINEPREFIX} $<TARGET_FILE:korvalux> ${KORVALUX_CONVERTER_HOST}
                 ${CMAKE_BINARY_DIR}/korvalux-wine.png)
set_tests_properties(windows_e2e PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
                     TIMEOUT 120 RUN_SERIAL TRUE)

# The start of korvalux-service.exe, against a stand-in built here.
add_executable(fake_service ${CMAKE_CURRENT_LIST_DIR}/fake_service.cpp)
target_link_options(fake_service PRIVATE -municode)
target_link_libraries(fake_service PRIVATE ws2_32)
korvalux_add_test(service_process PLAIN TIMEOUT 120 LIBS korvalux_win32 ws2_32 shell32)
add_dependencies(service_process_test fake_service)

# The installer, installed and uninstalled silently in a fresh prefix of its own,
# and the installed window starting the service it ships.
if(TARGET korvalux_setup)
  add_test(NAME windows_installer_e2e
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/windows_installer_e2e.sh ${KORVALUX_WINE_RUN}
                   ${KORVALUX_SETUP} ${CMAKE_BINARY_DIR}/wineprefix-installer)
  set_tests_properties(windows_installer_e2e PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300
                       RUN_SERIAL TRUE)
endif()
