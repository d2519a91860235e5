# Bounded waits: the window's link and the camera calls against the simulated
# device on the device addresses (private network only).
merro_add_test(tst_bounds
    SOURCES tst_bounds.cpp simdevice.h
    LIBS merro_ui merro_link merro_http merro_common
    NETNS
    LABELS bounds
    TIMEOUT 180)
add_dependencies(tst_bounds merro-devicesim)
