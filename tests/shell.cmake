merro_add_test(tst_mainwindow
    SOURCES tst_mainwindow.cpp screenshot.h
    LIBS merro_ui merro_resources
    LABELS shell)
target_compile_definitions(tst_mainwindow PRIVATE
    MERRO_TRANSLATION_DIR="${PROJECT_SOURCE_DIR}/app/translation")
