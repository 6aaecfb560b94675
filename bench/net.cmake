# The extraction against its pass-by-pass reading, and the page download against
# a raw-socket GET from the same loopback server. Each prints its ratio.
if(NOT KORVALUX_BUILD_APP)
  return()
endif()
foreach(bench extract_result download_page)
  add_executable(${bench}_bench ${bench}_bench.cpp)
  target_link_libraries(${bench}_bench PRIVATE korvalux_core benchmark::benchmark)
endforeach()
target_sources(download_page_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/loopback_http_server.cpp)
