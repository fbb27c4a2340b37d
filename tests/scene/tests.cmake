list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/presets_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/figures_test.cpp
)
