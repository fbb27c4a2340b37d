# The tracer depends on the samples-per-frame setting (strata, row scale), so
# its tests run against both builds.
list(APPEND TPL_ENGINE_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/tracer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pixel_guide_test.cpp
)
