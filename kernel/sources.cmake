# The tracer itself is header-only (shared with the CPU backend); only the CUDA
# kernel module is compiled here.
list(APPEND TPL_CUDA_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tracer.cu
)
