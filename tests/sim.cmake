# The simulated device's own tests. They talk to the device addresses and so
# run inside the private network namespace; the namespace test checks
# netns-run itself.
merro_add_test(tst_sim
    SOURCES tst_sim.cpp
    LIBS Qt5::Network
    NETNS
    LABELS sim
    TIMEOUT 60)
add_dependencies(tst_sim merro-devicesim)

set(MERRO_SIM_TEST_ENV
    "MERRO_CONTROL_HOST=${MERRO_CONTROL_HOST}"
    "MERRO_GROUND_HOST=${MERRO_GROUND_HOST}"
    "MERRO_CAMERA_HOST=${MERRO_CAMERA_HOST}"
    "MERRO_SIM=$<TARGET_FILE:merro-devicesim>"
    "MERRO_NETNS_RUN=${PROJECT_SOURCE_DIR}/scripts/netns-run")

add_test(NAME sim_camera
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/netns-run ${CMAKE_CURRENT_SOURCE_DIR}/sim_camera.sh)
add_test(NAME sim_netns COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sim_netns.sh)
set_tests_properties(sim_camera sim_netns PROPERTIES
    ENVIRONMENT "${MERRO_SIM_TEST_ENV}"
    LABELS sim
    TIMEOUT 60
    SKIP_RETURN_CODE 77)
