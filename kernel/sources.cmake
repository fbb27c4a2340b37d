# The tracer is header-only (shared with the CPU kernels and the CUDA kernel);
# the CUDA kernel module is compiled here.
template_folder(kernel
  CUDA_SOURCES tracer.cu)
