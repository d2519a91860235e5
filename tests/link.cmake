# The device link: the two channel threads against stand-in units on
# 127.0.0.1, and the window's link button against units on the device
# addresses (private network only).
merro_add_test(tst_linkchannels
    SOURCES tst_linkchannels.cpp fakeunit.h
    LIBS merro_link Qt5::Network
    LABELS link
    TIMEOUT 120)

merro_add_test(tst_linkwindow
    SOURCES tst_linkwindow.cpp fakeunit.h screenshot.h
    LIBS merro_ui merro_link Qt5::Network
    NETNS
    LABELS link
    TIMEOUT 120)

# End to end against the simulated device.
merro_add_test(tst_linksim
    SOURCES tst_linksim.cpp
    LIBS merro_ui
    NETNS
    LABELS link
    TIMEOUT 60)
if(TARGET merro-devicesim)
    add_dependencies(tst_linksim merro-devicesim)
endif()

if(MERRO_TSAN)
    foreach(test tst_linkchannels tst_linkwindow tst_linksim)
        target_sources(${test} PRIVATE linktsanoptions.cpp)
        target_compile_definitions(${test} PRIVATE
            MERRO_TSAN_SUPPRESSIONS="${CMAKE_CURRENT_SOURCE_DIR}/tsan.supp")
    endforeach()
endif()
