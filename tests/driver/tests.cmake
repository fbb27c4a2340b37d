list(APPEND TPL_ENGINE_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/sampler_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_driver_test.cpp
)
