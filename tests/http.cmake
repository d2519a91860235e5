# The HTTP client: composition, transport and response reading against a
# scripted server on 127.0.0.1.
find_package(Threads REQUIRED)

add_library(http_scriptedserver STATIC scriptedserver.h scriptedserver.cpp)
target_link_libraries(http_scriptedserver PUBLIC merro_http merro_common Threads::Threads)
set_target_properties(http_scriptedserver PROPERTIES AUTOMOC OFF)

merro_add_test(tst_httpurl SOURCES tst_httpurl.cpp LIBS merro_http merro_common
               LABELS http TIMEOUT 60)
foreach(name tst_httptransport tst_httpresponse tst_httpexchange)
    merro_add_test(${name} SOURCES ${name}.cpp LIBS http_scriptedserver LABELS http TIMEOUT 60)
endforeach()
