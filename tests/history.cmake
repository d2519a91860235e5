# The window's history of its download folder: the journal, its filter, a
# recording's folder, and the verify against the checksums.
merro_add_test(tst_history
    SOURCES tst_history.cpp screenshot.h
    LIBS merro_ui merro_resources
    LABELS shell
    TIMEOUT 120)
