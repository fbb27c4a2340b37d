list(APPEND TPL_DESKTOP_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/capture_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_codecs_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/assemble_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shared_outputs_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_line_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/farm_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/farm_checks_test.cpp
)
