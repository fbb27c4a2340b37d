list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/camera_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/choreography_test.cpp
)
