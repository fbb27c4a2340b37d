#pragma once
// One annotation for every function the tracer shares between the CUDA kernel
// and the CPU backend: compiled for both sides under nvcc, plain inline C++ otherwise.
#if defined(__CUDACC__)
#define TPL_HD __host__ __device__ __forceinline__
#else
// Forced: the CPU backend is several per cent faster with the whole tracer inlined.
#define TPL_HD inline __attribute__((always_inline))
#endif
