list(APPEND TPL_ENGINE_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/sampler_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_driver_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/simd_frame_test.cpp
)
# The measures and the gate engine-check judges backends by, its options, and
# the kept row threads.
list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/frame_compare_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_gate_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/check_options_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/row_pool_test.cpp
  ${PROJECT_SOURCE_DIR}/bench/frame_compare.cpp
  ${PROJECT_SOURCE_DIR}/bench/frame_gate.cpp
  ${PROJECT_SOURCE_DIR}/bench/check_options.cpp
)
# The whole check, with a CPU backend standing in for the GPU.
if(TEMPLATE_BUILD_BENCH)
  list(APPEND TPL_ENGINE_TESTS_ONCE ${CMAKE_CURRENT_LIST_DIR}/engine_check_program_test.cpp)
endif()
# engine-check (bench/) against the program's still.
if(TEMPLATE_DESKTOP AND TEMPLATE_BUILD_BENCH)
  list(APPEND TPL_DESKTOP_TESTS_ONCE ${CMAKE_CURRENT_LIST_DIR}/engine_check_test.cpp)
endif()
