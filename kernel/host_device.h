#pragma once
// One annotation for every function the tracer shares between the CUDA kernel
// and the CPU backend: compiled for both sides under nvcc, plain inline C++ otherwise.
#if defined(__CUDACC__)
#define TPL_HD __host__ __device__ __forceinline__
#else
#define TPL_HD inline
#endif
