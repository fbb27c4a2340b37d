# demo_test needs the frame driver, the CPU backend and the kernel.
list(APPEND TPL_DESKTOP_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/overlays_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/readout_font_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/demo_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/live_quality_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/letterbox_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/demo_picture_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scaled_titles_test.cpp
  # PSNR for the picture tests
  ${PROJECT_SOURCE_DIR}/bench/frame_compare.cpp
)
