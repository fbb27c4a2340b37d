# The tracer is header-only (shared with the CPU backend and the CUDA kernel);
# the CPU kernels that drive it and the CUDA kernel module are compiled here.
if(TPL_HAVE_HWY)
  set(TPL_BATCHED_SOURCES batched_kernel.cpp)
  set(TPL_BATCHED_LIBS hwy::hwy)
else()
  set(TPL_BATCHED_SOURCES batched_kernel_missing.cpp)
  set(TPL_BATCHED_LIBS "")
endif()
template_folder(kernel
  SOURCES cpu_kernels.cpp ${TPL_BATCHED_SOURCES}
  CUDA_SOURCES tracer.cu
  LIBS ${TPL_BATCHED_LIBS})
