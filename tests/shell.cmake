merro_add_test(tst_mainwindow
    SOURCES tst_mainwindow.cpp screenshot.h
    LIBS merro_ui merro_resources
    LABELS shell)
# Every text the code translates has a translation in both catalogues.
add_test(NAME catalogues
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/catalogues.sh ${PROJECT_SOURCE_DIR}
                 $<TARGET_FILE:Qt5::lupdate>)
set_tests_properties(catalogues PROPERTIES LABELS shell TIMEOUT 60)
