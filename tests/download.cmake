# The download queue and thread against the simulated device (private
# network only).
if(MERRO_GUI)
    merro_add_test(tst_download
        SOURCES tst_download.cpp simdevice.h
        LIBS merro_ui
        NETNS
        LABELS download
        TIMEOUT 900)
    add_dependencies(tst_download merro-devicesim)
endif()
# What is safe in the download folder and what a partial download may be
# trusted with. In the private namespace for its mount namespace: a file is
# made read-only there.
merro_add_test(tst_localarchive
    SOURCES tst_localarchive.cpp
    LIBS merro_download
    NETNS
    LABELS download
    TIMEOUT 60)
