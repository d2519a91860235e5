# The window's card operations against the simulated device (private network
# only).
merro_add_test(tst_card
    SOURCES tst_card.cpp simdevice.h screenshot.h
    LIBS merro_ui merro_resources
    NETNS
    LABELS card
    TIMEOUT 240)
if(TARGET merro-devicesim)
    add_dependencies(tst_card merro-devicesim)
endif()
