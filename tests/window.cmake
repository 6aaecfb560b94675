# The settings store, the window's layout and the main window's behaviour.
korvalux_add_test(settings LIBS korvalux_core)
korvalux_add_test(form1 GUI LIBS korvalux_ui)
korvalux_add_test(main_window GUI LIBS korvalux_ui)
