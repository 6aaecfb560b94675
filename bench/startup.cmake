# Start-up benchmark: korvalux against a bare Qt Widgets program with libcurl,
# time to the first mapped window and idle memory, on a private Xvfb display.
# Run it with `cmake --build <dir> --target startup_bench`.
if(NOT KORVALUX_BUILD_APP)
  return()
endif()
add_executable(bare_qt bare_qt.cpp)
target_link_libraries(bare_qt PRIVATE Qt6::Widgets CURL::libcurl)

find_package(X11)
if(X11_FOUND)
  add_executable(map-timer map_timer.cpp)
  target_link_libraries(map-timer PRIVATE X11::X11)
  if(TARGET korvalux)
    add_custom_target(startup_bench
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/startup_bench.sh $<TARGET_FILE:korvalux>
              $<TARGET_FILE:bare_qt> $<TARGET_FILE:map-timer>
      DEPENDS korvalux bare_qt map-timer
      USES_TERMINAL VERBATIM)
  endif()
endif()
