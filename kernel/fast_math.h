#pragma once
// The tracer's float helpers. On the GPU they map to the fast approximate
// hardware forms; on the host they are the exact library functions, so the CPU
// backend and the tests see IEEE results.
#include "kernel/host_device.h"

#if !defined(__CUDA_ARCH__)
#include <cmath>
#endif

TPL_HD float fastRcp(float x) {
#if defined(__CUDA_ARCH__)
    return __fdividef(1.0f, x);
#else
    return 1.0f / x;
#endif
}

TPL_HD float fastDiv(float a, float b) {
#if defined(__CUDA_ARCH__)
    return __fdividef(a, b);
#else
    return a / b;
#endif
}

TPL_HD float fastSqrt(float x) {
#if defined(__CUDA_ARCH__)
    return sqrtf(x);  // approximate under --use_fast_math
#else
    return std::sqrt(x);
#endif
}

TPL_HD float fastRsqrt(float x) {
#if defined(__CUDA_ARCH__)
    return rsqrtf(x);
#else
    return 1.0f / std::sqrt(x);
#endif
}

TPL_HD float fastSin(float x) {
#if defined(__CUDA_ARCH__)
    return __sinf(x);
#else
    return std::sin(x);
#endif
}

TPL_HD float fastCos(float x) {
#if defined(__CUDA_ARCH__)
    return __cosf(x);
#else
    return std::cos(x);
#endif
}

// Written as comparisons so host and device treat NaN the same way.
TPL_HD float minOf(float a, float b) {
    return a < b ? a : b;
}
TPL_HD float maxOf(float a, float b) {
    return a > b ? a : b;
}
TPL_HD float absOf(float a) {
    return a < 0.0f ? -a : a;
}
