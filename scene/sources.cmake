list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/frame_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/figures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bounds.cpp
)
# The frame driver and its backends keep their own list.
include(${CMAKE_CURRENT_LIST_DIR}/driver.cmake OPTIONAL)
