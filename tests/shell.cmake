merro_add_test(tst_mainwindow
    SOURCES tst_mainwindow.cpp screenshot.h
    LIBS merro_ui merro_resources
    LABELS shell)
