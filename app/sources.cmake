list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fatal_error.cpp
)
# Fragments kept by the window, image and capture code.
include(${CMAKE_CURRENT_LIST_DIR}/display.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/image.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/capture.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/cli.cmake OPTIONAL)
