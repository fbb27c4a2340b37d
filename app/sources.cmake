list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/console.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fatal_error.cpp
  ${CMAKE_CURRENT_LIST_DIR}/options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_dir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/surface.cpp
  # live show
  ${CMAKE_CURRENT_LIST_DIR}/gl_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_loop.cpp
  # headless jobs
  ${CMAKE_CURRENT_LIST_DIR}/output_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/still.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture.cpp
)
set(TPL_APP_MAIN ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
