# korvalux-service: its units, the rate acceptance, the refresh against fake
# feeds, the fetcher on loopback, the reload, the whole service driven by the
# desktop program's own download and extraction, the process's signals and idle
# exit, the Linux host's signals in-process, a fuzz target over the request
# handler, and the service started on demand by socket activation.
if(KORVALUX_BUILD_SERVICE)
  set(korvalux_service_test_data "${PROJECT_SOURCE_DIR}/service/data")
  korvalux_add_test(service_amount PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_rates PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_pages PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_options PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_framing PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_acceptance PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_wait PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_refresh PLAIN LIBS korvalux_service_core)
  korvalux_add_test(service_reload PLAIN LIBS korvalux_service_core)
  # The transport behind a fake host, as another platform would give it.
  korvalux_add_test(service_server PLAIN LIBS korvalux_service_transport)
  korvalux_add_test(service_session PLAIN LIBS korvalux_service_transport)
endif()
# Linux only: libcurl, fork and exec, signals, systemd.
if(KORVALUX_BUILD_SERVICE AND NOT WIN32)
  korvalux_add_test(service_fetch PLAIN LIBS korvalux_service_core
                    SOURCES loopback_http_server.cpp)
  # Drives the service with the desktop program's own session, built with the window.
  if(TARGET korvalux_net)
    korvalux_add_test(service_e2e PLAIN LIBS korvalux_service_core korvalux_net
                      SOURCES loopback_http_server.cpp service_process.cpp)
  endif()
  # The process's signals, idle exit and handed sockets: no Qt.
  korvalux_add_test(service_lifecycle PLAIN LIBS korvalux_service_core
                    SOURCES service_process.cpp)
  foreach(unit e2e lifecycle)
    if(TARGET service_${unit}_test)
      target_compile_definitions(service_${unit}_test PRIVATE
        KORVALUX_SERVICE_BINARY="$<TARGET_FILE:korvalux-service>")
      add_dependencies(service_${unit}_test korvalux-service)
    endif()
  endforeach()
  # The Linux host's signal handling, in forked children of the test.
  korvalux_add_test(service_signals PLAIN LIBS korvalux_service_transport
                    SOURCES ${PROJECT_SOURCE_DIR}/service/posix_host.cpp
                            ${PROJECT_SOURCE_DIR}/service/hang_up.cpp)
  korvalux_add_fuzzer(service_request_fuzz service_request_fuzz.cpp LIBS korvalux_service_core)
endif()
if(KORVALUX_BUILD_SERVICE)
  foreach(unit rates acceptance pages refresh fetch wait reload server session e2e lifecycle)
    if(TARGET service_${unit}_test)
      target_compile_definitions(service_${unit}_test PRIVATE
        KORVALUX_SERVICE_TEST_DATA="${korvalux_service_test_data}")
    endif()
  endforeach()
endif()

# `cmake --install` of the service component: the program, the snapshot, the unit.
if(KORVALUX_BUILD_SERVICE AND NOT KORVALUX_FUZZ AND NOT WIN32)
  set(korvalux_service_stage ${CMAKE_BINARY_DIR}/service-install-check)
  add_test(NAME service_install
    COMMAND sh -c "rm -rf \"$1\" && cmake --install \"$2\" --component service --prefix \"$1\" >/dev/null \
&& test -x \"$1/bin/korvalux-service\" \
&& test -s \"$1/share/korvalux-service/eurofxref-daily-2026-07-06.xml\" \
&& test -s \"$1/share/korvalux-service/currency-api-eur-2026-07-06.json\" \
&& grep -q '^ExecStart=.*/korvalux-service .*--refresh' \"$1/lib/systemd/user/korvalux-service.service\" \
&& \"$1/bin/korvalux-service\" --help | grep -q -- --listen"
      sh ${korvalux_service_stage} ${CMAKE_BINARY_DIR})
  # Started by systemd-socket-activate at the first connection, gone when idle.
  add_test(NAME service_socket_activation
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/service_socket_activation.py
      $<TARGET_FILE:korvalux-service> ${PROJECT_SOURCE_DIR}/service/data)
  set_tests_properties(service_socket_activation PROPERTIES TIMEOUT 120)
endif()
