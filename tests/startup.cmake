# The start-up utilities against the real hand cursor the build draws.
if(TARGET korvalux_ui)
  korvalux_add_test(startup GUI LIBS korvalux_ui korvalux_core)
else()
  korvalux_add_test(startup GUI LIBS korvalux_core Qt6::Widgets
                    SOURCES ${CMAKE_SOURCE_DIR}/app/startup.cpp)
endif()
if(TARGET startup_test)
  target_compile_definitions(startup_test PRIVATE
    KORVALUX_HAND_CURSOR_FILE="${CMAKE_BINARY_DIR}/packaging/HAND-M.CUR")
  add_dependencies(startup_test korvalux_hand_cursor_file)
endif()
