# The start-up utilities against the real hand cursor the build draws.
korvalux_add_test(startup GUI LIBS korvalux_app)
if(TARGET startup_test)
  target_compile_definitions(startup_test PRIVATE
    KORVALUX_HAND_CURSOR_FILE="${CMAKE_BINARY_DIR}/packaging/HAND-M.CUR")
  add_dependencies(startup_test korvalux_hand_cursor_file)
endif()
