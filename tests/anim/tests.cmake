list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/camera_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/choreography_test.cpp
)
