# The device link: the window against the simulated device, inside the
# private network.
merro_add_test(tst_link SOURCES tst_link.cpp simdevice.h screenshot.h LIBS merro_ui merro_link
               NETNS LABELS link TIMEOUT 120)
add_dependencies(tst_link merro-devicesim)
if(MERRO_TSAN)
    target_sources(tst_link PRIVATE linktsanoptions.cpp)
    target_compile_definitions(tst_link PRIVATE
        MERRO_TSAN_SUPPRESSIONS="${CMAKE_CURRENT_SOURCE_DIR}/tsan.supp")
endif()
