# The desktop tests under Xvfb: the end-to-end run with its two helpers, a tool that
# closes a window as a window manager would, and a stand-in converter page
# for builds without korvalux-service. scripts/run uses the close tool too.
if(KORVALUX_FUZZ OR NOT KORVALUX_BUILD_APP)
  return()
endif()
find_package(X11)
if(X11_FOUND)
  add_executable(x11-close-window x11_close_window.cpp)
  target_link_libraries(x11-close-window PRIVATE X11::X11)
endif()
add_executable(fake-converter-server fake_converter_server.cpp)

if(TARGET korvalux AND TARGET x11-close-window)
  if(TARGET korvalux-service)
    set(service_file $<TARGET_FILE:korvalux-service>)
  else()
    set(service_file "")
  endif()
  add_test(NAME desktop_e2e
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop_e2e.sh $<TARGET_FILE:korvalux>
                   ${KORVALUX_CONVERTER_HOST} $<TARGET_FILE:x11-close-window> "${service_file}"
                   ${CMAKE_SOURCE_DIR}/service/data $<TARGET_FILE:fake-converter-server>)
  # Alone, so no other test holds the converter port or loads the two cores.
  set_tests_properties(desktop_e2e PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180 RUN_SERIAL TRUE)
endif()

# The window centred with its frame under a real window manager (openbox).
if(TARGET korvalux)
  add_test(NAME wm_centring
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wm_centring.sh $<TARGET_FILE:korvalux>)
  set_tests_properties(wm_centring PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
