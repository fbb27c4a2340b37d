#pragma once
// The simd kernel's vector targets: each is one source (simd_<target>.cpp)
// compiled with its target's instruction set, and the kernel runs the best
// one the CPU has (cpu_kernel/simd_kernel.cpp).
#include <cstdint>

#include "cpu_kernel/cpu_kernels.h"

struct SimdTarget {
    int64_t target;  // the vector library's target bit
    int lanes;
    void (*shadeRun)(const FrameWork& work, int begin, int end);
    void (*guideRun)(const FrameWork& work, float* guide, int begin, int end);
};

extern const SimdTarget simdTargetAvx3;
extern const SimdTarget simdTargetAvx2;
extern const SimdTarget simdTargetSse4;
