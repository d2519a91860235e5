# The HTTP client: composition, transport and response reading against a
# scripted server on 127.0.0.1.
find_package(Threads REQUIRED)

add_library(http_scriptedserver STATIC scriptedserver.h scriptedserver.cpp)
target_link_libraries(http_scriptedserver PUBLIC merro_common Threads::Threads)
set_target_properties(http_scriptedserver PROPERTIES AUTOMOC OFF)

merro_add_test(tst_httpurl
    SOURCES tst_httpurl.cpp
    LIBS merro_http merro_common
    LABELS http TIMEOUT 60)

merro_add_test(tst_httptransport
    SOURCES tst_httptransport.cpp
    LIBS merro_http http_scriptedserver
    LABELS http TIMEOUT 60)

merro_add_test(tst_httpresponse
    SOURCES tst_httpresponse.cpp
    LIBS merro_http http_scriptedserver
    LABELS http TIMEOUT 60)

merro_add_test(tst_httpexchange
    SOURCES tst_httpexchange.cpp
    LIBS merro_http http_scriptedserver
    LABELS http TIMEOUT 60)
