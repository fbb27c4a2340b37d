# The filter's passes, the image plane and the motion between records do not
# depend on the samples-per-frame setting.
list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/clamped_light_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter_pass_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_break_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_plane_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/motion_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spatial_variance_test.cpp
)
# The reconstruction of real frames: once per samples-per-frame variant.
list(APPEND TPL_ENGINE_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/temporal_accumulation_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/variance_filter_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/light_change_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_range_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reconstruction_test.cpp
)
