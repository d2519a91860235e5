# How the tool is started: options, settings, the download folder, against the
# simulator on loopback addresses. In the private network all the same: a
# setting that failed to take would leave the tool on the device addresses.
merro_add_test(tst_options
    SOURCES tst_options.cpp simdevice.h
    LIBS merro_ui merro_app merro_resources
    NETNS
    LABELS options
    TIMEOUT 120)
set_property(TEST tst_options APPEND PROPERTY ENVIRONMENT
             "MERRO_TOOL=$<TARGET_FILE:merro-download>")
add_dependencies(tst_options merro-devicesim merro-download)
