# One large card file through the download thread and the window, beside curl
# (bench/download.sh runs both against the simulated camera).
add_executable(bench_download ${CMAKE_CURRENT_SOURCE_DIR}/benchdownload.cpp)
target_link_libraries(bench_download PRIVATE merro_ui merro_download Qt5::Widgets)
