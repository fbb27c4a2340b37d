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
  foreach(target sse4 avx2 avx3)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/simd_${target}.cpp
                                PROPERTIES COMPILE_OPTIONS "${TPL_SIMD_FLAGS_${target}}")
  endforeach()
else()
  set(TPL_SIMD_SOURCES simd_kernel_missing.cpp)
  set(TPL_SIMD_LIBS "")
endif()
template_folder(cpu_kernel
  SOURCES cpu_kernels.cpp ${TPL_SIMD_SOURCES}
  LIBS ${TPL_SIMD_LIBS})
