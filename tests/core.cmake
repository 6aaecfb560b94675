# The shared core's tests: plain GoogleTest, no Qt, and the same sources in the
# Windows build, where they run under Wine (cmake/windows.cmake).
if(TARGET korvalux_core)
  korvalux_add_test(catalogue PLAIN LIBS korvalux_core)
  korvalux_add_test(core_conversion PLAIN LIBS korvalux_core)
  korvalux_add_test(core_download PLAIN LIBS korvalux_core)
  korvalux_add_test(core_service_address PLAIN LIBS korvalux_core)
  korvalux_add_test(core_service_start PLAIN LIBS korvalux_core)
  korvalux_add_test(form1_behaviour PLAIN LIBS korvalux_core)
endif()
