# korvalux-service against nginx with wrk: `cmake --build <dir> --target service_bench`.
# Not part of ctest; it needs about a minute and the machine to itself.
if(TARGET korvalux-service)
  add_custom_target(service_bench
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/service_bench.sh $<TARGET_FILE:korvalux-service>
    DEPENDS korvalux-service
    USES_TERMINAL
    VERBATIM)
endif()
