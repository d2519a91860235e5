# The sync, without a window (the tool as a process) and in the window,
# against the simulated device (private network only).
merro_add_test(tst_sync
    SOURCES tst_sync.cpp simdevice.h
    LIBS merro_ui
    NETNS
    LABELS sync
    TIMEOUT 300)
set_property(TEST tst_sync APPEND PROPERTY ENVIRONMENT
             "MERRO_TOOL=$<TARGET_FILE:merro-download>")
add_dependencies(tst_sync merro-devicesim merro-download)
