list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/x_harness.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_program_test.cpp
)
