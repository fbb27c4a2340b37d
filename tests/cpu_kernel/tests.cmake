# The simd kernel's lanes against one path, on every vector target: the checks
# are compiled once per target with its instruction set, like the kernel.
if(TPL_HAVE_HWY)
  foreach(target sse4 avx2 avx3)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/lane_checks_${target}.cpp
                                PROPERTIES COMPILE_OPTIONS "${TPL_SIMD_FLAGS_${target}}")
  endforeach()
  list(APPEND TPL_ENGINE_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/lanes_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lane_checks_sse4.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lane_checks_avx2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lane_checks_avx3.cpp
  )
endif()
