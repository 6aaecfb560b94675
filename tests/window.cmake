# The settings store, the window's layout and the main window's behaviour.
korvalux_add_test(settings LIBS korvalux_core)
