# The card listing through the window beside curl making the same requests.
# Run it with bench/card-listing.sh (inside the private network).
find_package(Qt5 REQUIRED COMPONENTS Test)
add_executable(merro-bench-card cardlisting.cpp benchloop.h)
target_include_directories(merro-bench-card PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(merro-bench-card PRIVATE merro_ui merro_common Qt5::Test Qt5::Widgets)
if(TARGET merro-devicesim)
    add_dependencies(merro-bench-card merro-devicesim)
endif()
