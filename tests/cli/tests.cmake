list(APPEND TPL_DESKTOP_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/options_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/still_clock_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/benchmark_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_size_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/still_formats_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_dir_test.cpp
)
list(APPEND TPL_DESKTOP_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/still_test.cpp
)
