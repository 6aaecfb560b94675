# The window as assistive technology sees it: in-process through QAccessible, and
# from outside over AT-SPI under Xvfb. A text query that hangs fails on the time
# limit instead of blocking the run.
korvalux_add_test(accessibility GUI TIMEOUT 60 LIBS korvalux_ui)
