# The fault matrix: every fault of the simulated device against the window
# (private network only).
merro_add_test(tst_faults
    SOURCES tst_faults.cpp simdevice.h
    LIBS merro_ui merro_link merro_download
    NETNS FIRST
    FUNCTIONS faultWhileListingOrLinking faultWhileDownloading
    LABELS faults
    TIMEOUT 600)
add_dependencies(tst_faults merro-devicesim)
