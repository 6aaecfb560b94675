# The extraction against its pass-by-pass reading, and the page download against
# a raw-socket GET from the same loopback server. Each prints its ratio.
if(NOT KORVALUX_BUILD_APP)
  return()
endif()
add_executable(extract_result_bench extract_result_bench.cpp)
target_link_libraries(extract_result_bench PRIVATE korvalux_core Qt6::Core benchmark::benchmark)
add_executable(download_page_bench download_page_bench.cpp)
target_link_libraries(download_page_bench PRIVATE korvalux_net Qt6::Core benchmark::benchmark)
target_sources(download_page_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/loopback_http_server.cpp)
