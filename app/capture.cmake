list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture.cpp
)
