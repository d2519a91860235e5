# The window's card operations against the simulated device (private network
# only): the listing, and the changes to the card.
foreach(suite tst_card tst_cardchanges)
    merro_add_test(${suite}
        SOURCES ${suite}.cpp cardwindow.h simdevice.h screenshot.h
        LIBS merro_ui merro_resources
        NETNS
        LABELS card
        TIMEOUT 240)
    add_dependencies(${suite} merro-devicesim)
endforeach()
