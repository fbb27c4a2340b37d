list(APPEND TPL_TEST_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/png_writer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_plan_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_encoder_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_program_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe.cpp
)
