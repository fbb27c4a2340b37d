list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/sampler_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cpu_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cuda_backend.cpp
)
