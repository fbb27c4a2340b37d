list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp
)
