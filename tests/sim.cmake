# The simulated device's own promises that the tool's tests cannot see, and
# the refusals of netns-run and the simulator outside a private network.
merro_add_test(tst_sim SOURCES tst_sim.cpp simdevice.h LIBS Qt5::Network NETNS LABELS sim
               TIMEOUT 60)
add_dependencies(tst_sim merro-devicesim)

add_test(NAME sim_netns COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sim_netns.sh)
set_tests_properties(sim_netns PROPERTIES
    ENVIRONMENT "MERRO_SIM=$<TARGET_FILE:merro-devicesim>;MERRO_NETNS_RUN=${PROJECT_SOURCE_DIR}/scripts/netns-run"
    LABELS sim
    TIMEOUT 60
    SKIP_RETURN_CODE 77)
