# The sync without a window: the tool as a process against the simulated
# device (private network only).
merro_add_test(tst_sync
    SOURCES tst_sync.cpp synccard.h simdevice.h
    NETNS FIRST
    LABELS sync
    TIMEOUT 300)
set_property(TEST tst_sync APPEND PROPERTY ENVIRONMENT
             "MERRO_TOOL=$<TARGET_FILE:merro-download>")
add_dependencies(tst_sync merro-devicesim merro-download)
# The window's sync against the simulated device.
if(MERRO_GUI)
    merro_add_test(tst_windowsync
        SOURCES tst_windowsync.cpp synccard.h simdevice.h
        LIBS merro_ui
        NETNS FIRST
        LABELS sync
        TIMEOUT 300)
    add_dependencies(tst_windowsync merro-devicesim)
endif()
# Freeing the card: what is proven, what is kept and why.
merro_add_test(tst_freecard
    SOURCES tst_freecard.cpp synccard.h simdevice.h
    NETNS
    LABELS sync
    TIMEOUT 300)
set_property(TEST tst_freecard APPEND PROPERTY ENVIRONMENT
             "MERRO_TOOL=$<TARGET_FILE:merro-download>")
add_dependencies(tst_freecard merro-devicesim merro-download)
# The lock that keeps two runs apart.
merro_add_test(tst_runlock SOURCES tst_runlock.cpp LIBS merro_engine LABELS sync TIMEOUT 60)
# The archive: journal, --verify, dated folders, retention, the JSON summary.
merro_add_test(tst_archive
    SOURCES tst_archive.cpp synccard.h simdevice.h
    NETNS
    LABELS sync
    TIMEOUT 300)
set_property(TEST tst_archive APPEND PROPERTY ENVIRONMENT
             "MERRO_TOOL=$<TARGET_FILE:merro-download>")
add_dependencies(tst_archive merro-devicesim merro-download)
