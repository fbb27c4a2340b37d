list(APPEND TPL_ENGINE_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/sampler_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_driver_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/simd_frame_test.cpp
)
# The measure engine-check compares backends with.
list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/frame_compare_test.cpp
  ${PROJECT_SOURCE_DIR}/bench/frame_compare.cpp
)
# engine-check (bench/) against the program's still.
if(TEMPLATE_DESKTOP AND TEMPLATE_BUILD_BENCH)
  list(APPEND TPL_DESKTOP_TESTS_ONCE ${CMAKE_CURRENT_LIST_DIR}/engine_check_test.cpp)
endif()
