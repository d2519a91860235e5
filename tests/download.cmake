# The download queue and thread against the simulated device (private
# network only): the queue, and where its files go.
if(MERRO_GUI)
    foreach(suite tst_download tst_downloadnames)
        merro_add_test(${suite}
            SOURCES ${suite}.cpp downloadwindow.h simdevice.h
            LIBS merro_ui
            NETNS FIRST
            LABELS download
            TIMEOUT 900)
        add_dependencies(${suite} merro-devicesim)
    endforeach()
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
# A card recording's name and time as the tool reads them (no network).
merro_add_test(tst_cardrecording
    SOURCES tst_cardrecording.cpp
    LIBS merro_card
    LABELS card
    TIMEOUT 60)
# The download journal and the checksum behind it (no network).
merro_add_test(tst_journal
    SOURCES tst_journal.cpp
    LIBS merro_download
    LABELS download
    TIMEOUT 60)
