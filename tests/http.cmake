# The HTTP client, against a scripted peer on 127.0.0.1.
find_package(Threads REQUIRED)
merro_add_test(tst_http SOURCES tst_http.cpp LIBS merro_http merro_common Threads::Threads
               LABELS http TIMEOUT 60)
