list(APPEND TPL_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gl_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_loop.cpp
)
