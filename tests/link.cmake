# The device link: the window against the simulated device, inside the
# private network.
merro_add_test(tst_link SOURCES tst_link.cpp simdevice.h screenshot.h LIBS merro_ui merro_link
               NETNS FIRST LABELS link TIMEOUT 120)
add_dependencies(tst_link merro-devicesim)
