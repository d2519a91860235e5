# Card files through the download thread and the window, beside curl: one
# large file (plain, busy window, resumed after a cut) and a queue of small
# ones (bench/download.sh runs them against the simulated camera).
add_executable(bench_download ${CMAKE_CURRENT_SOURCE_DIR}/benchdownload.cpp
                              ${CMAKE_CURRENT_SOURCE_DIR}/benchloop.h)
target_link_libraries(bench_download PRIVATE merro_ui merro_download Qt5::Widgets)
# Deciding what is safe from a large download journal (bench/journal.sh).
add_executable(bench_journal ${CMAKE_CURRENT_SOURCE_DIR}/benchjournal.cpp)
target_link_libraries(bench_journal PRIVATE merro_download)
