# The CPU's kernels: the scalar one, and the simd one as one source per
# vector target, each compiled with that target's instruction set (the
# tracer's templates take the target of the source they are compiled in).
if(TPL_HAVE_HWY)
  set(TPL_SIMD_SOURCES simd_kernel.cpp simd_avx3.cpp simd_avx2.cpp simd_sse4.cpp)
  set(TPL_SIMD_LIBS hwy::hwy)
  # The instruction sets of the targets (tests compile their per-target checks with them too).
  set(TPL_SIMD_FLAGS_sse4 -msse4.2 -mpclmul -maes)
  set(TPL_SIMD_FLAGS_avx2 ${TPL_SIMD_FLAGS_sse4} -mavx2 -mbmi -mbmi2 -mfma -mf16c)
  set(TPL_SIMD_FLAGS_avx3 ${TPL_SIMD_FLAGS_avx2} -mavx512f -mavx512vl -mavx512dq -mavx512bw)
  # Instrumented, every lane's access is checked and the simd kernel runs about
  # sixty times slower than uninstrumented (ten times slower than the scalar
  # kernel), too slow for the sanitizer suite, which then leaves these sources
  # out; the lane checks in tests/cpu_kernel still run the same templates
  # instrumented there.
  set(TPL_SIMD_UNINSTRUMENTED "")
  if(TEMPLATE_SIMD_UNINSTRUMENTED)
    set(TPL_SIMD_UNINSTRUMENTED -fno-sanitize=all)
  endif()
  foreach(target sse4 avx2 avx3)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/simd_${target}.cpp
                                PROPERTIES COMPILE_OPTIONS "${TPL_SIMD_FLAGS_${target}};${TPL_SIMD_UNINSTRUMENTED}")
  endforeach()
endif()
template_folder(cpu_kernel
  SOURCES cpu_kernels.cpp ${TPL_SIMD_SOURCES}
  LIBS ${TPL_SIMD_LIBS})
