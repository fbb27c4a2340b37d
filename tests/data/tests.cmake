list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/data_files_test.cpp
)
