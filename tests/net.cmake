# The Internet session and the conversion request, tested against the loopback
# server; the extraction is also fuzzed against its pass-by-pass reading.
if(NOT KORVALUX_BUILD_APP)
  return()
endif()
korvalux_add_test(internet_session LIBS korvalux_core SOURCES loopback_http_server.cpp)
korvalux_add_test(conversion_request LIBS korvalux_core SOURCES loopback_http_server.cpp)
korvalux_add_test(local_service LIBS korvalux_core)
korvalux_add_fuzzer(extract_result_fuzz extract_result_fuzz.cpp LIBS korvalux_core)
