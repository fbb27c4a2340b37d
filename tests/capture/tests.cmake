list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/capture_test.cpp
)
