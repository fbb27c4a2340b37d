list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/presets_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/figures_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/denoise_test.cpp
)
