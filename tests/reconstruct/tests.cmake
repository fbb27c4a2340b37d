# The image plane and the motion between records do not depend on the
# samples-per-frame setting.
list(APPEND TPL_ENGINE_TESTS_ONCE
  ${CMAKE_CURRENT_LIST_DIR}/image_plane_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/motion_test.cpp
)
