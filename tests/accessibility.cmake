# The window as assistive technology sees it: in-process through QAccessible, and
# from outside over AT-SPI under Xvfb. A text query that hangs fails on the time
# limit instead of blocking the run.
if(NOT KORVALUX_BUILD_APP)
  return()
endif()
korvalux_add_test(accessibility GUI TIMEOUT 60 LIBS korvalux_app)

# Under weston, on Qt's Wayland platform: no gtest discovery, which would run the
# program offscreen.
if(NOT KORVALUX_FUZZ)
  add_executable(wayland_window_test wayland_window_test.cpp)
  target_link_libraries(wayland_window_test PRIVATE korvalux_test_main_gui korvalux_app)
  add_test(NAME wayland_window
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wayland_session.sh
                   $<TARGET_FILE:wayland_window_test>)
  set_tests_properties(wayland_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()

# From outside over AT-SPI, in a private D-Bus session on a private Xvfb display.
if(NOT KORVALUX_FUZZ)
  add_executable(accessible-window accessible_window.cpp)
  target_link_libraries(accessible-window PRIVATE korvalux_app)
  add_test(NAME atspi_window
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/atspi_session.sh
                   ${CMAKE_CURRENT_SOURCE_DIR}/atspi_window_check.py
                   $<TARGET_FILE:accessible-window>)
  set_tests_properties(atspi_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
