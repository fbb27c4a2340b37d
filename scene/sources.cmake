list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/frame_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/figures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bounds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sampler_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cpu_backend.cpp
  # without CUDA it only says why there is no CUDA backend
  ${CMAKE_CURRENT_LIST_DIR}/cuda_backend.cpp
)
