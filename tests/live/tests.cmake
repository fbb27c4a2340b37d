list(APPEND TPL_DESKTOP_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_stats_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_controls_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/live_rung_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_controls_program_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/x_server.cpp
)
