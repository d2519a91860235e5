# Every include runs down the layers: a planted upward one fails this.
add_test(NAME layers COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-layers ${PROJECT_SOURCE_DIR})
set_tests_properties(layers PROPERTIES LABELS shell TIMEOUT 60)
