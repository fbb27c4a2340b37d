list(APPEND TPL_TEST_BOTH
  ${CMAKE_CURRENT_LIST_DIR}/sampler_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_driver_test.cpp
)
