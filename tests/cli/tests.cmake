list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/options_test.cpp
)
list(APPEND TPL_TEST_BOTH
  ${CMAKE_CURRENT_LIST_DIR}/still_test.cpp
)
