korvalux_add_test(catalogue LIBS korvalux_core)
