# The download queue and thread against the simulated device (private
# network only).
merro_add_test(tst_download
    SOURCES tst_download.cpp simdevice.h
    LIBS merro_ui
    NETNS
    LABELS download
    TIMEOUT 900)
if(TARGET merro-devicesim)
    add_dependencies(tst_download merro-devicesim)
endif()
