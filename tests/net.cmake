# The libcurl session against the loopback server and the service starter;
# the core's extraction is fuzzed against its pass-by-pass reading.
if(NOT KORVALUX_BUILD_APP)
  return()
endif()
korvalux_add_test(internet_session LIBS korvalux_net SOURCES loopback_http_server.cpp)
korvalux_add_test(service_starter PLAIN LIBS korvalux_net)
korvalux_add_fuzzer(extract_result_fuzz extract_result_fuzz.cpp LIBS korvalux_core Qt6::Core)
