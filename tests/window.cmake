# The settings store, the window's layout and the main window's behaviour.
korvalux_add_test(settings LIBS korvalux_settings)
korvalux_add_test(form1 GUI LIBS korvalux_ui)
korvalux_add_test(main_window GUI LIBS korvalux_app korvalux_net korvalux_settings
                  SOURCES loopback_http_server.cpp)
if(TARGET main_window_test)
  # The window installs the very hand cursor the build draws.
  target_compile_definitions(main_window_test PRIVATE
    KORVALUX_HAND_CURSOR_FILE="${CMAKE_BINARY_DIR}/packaging/HAND-M.CUR")
  add_dependencies(main_window_test korvalux_hand_cursor_file)
  # A refused loopback host makes the window start this very service.
  if(TARGET korvalux-service)
    target_compile_definitions(main_window_test PRIVATE
      KORVALUX_SERVICE_PROGRAM="$<TARGET_FILE:korvalux-service>")
    add_dependencies(main_window_test korvalux-service)
  endif()
endif()
