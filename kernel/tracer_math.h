#pragma once
// The tracer's float arithmetic where the two sides differ. On the GPU these
// are the fast approximate hardware forms; on the host they are the exact
// library functions (correctly rounded where IEEE says so), so the CPU backend
// and the tests see reproducible results.
#include "kernel/host_device.h"

#if !defined(__CUDA_ARCH__)
#include <cmath>
#endif

TPL_HD float tracerRcp(float x) {
#if defined(__CUDA_ARCH__)
    return __fdividef(1.0f, x);
#else
    return 1.0f / x;
#endif
}

TPL_HD float tracerDiv(float a, float b) {
#if defined(__CUDA_ARCH__)
    return __fdividef(a, b);
#else
    return a / b;
#endif
}

TPL_HD float tracerSqrt(float x) {
#if defined(__CUDA_ARCH__)
    return sqrtf(x);  // approximate under --use_fast_math
#else
    return std::sqrt(x);
#endif
}

TPL_HD float tracerRsqrt(float x) {
#if defined(__CUDA_ARCH__)
    return rsqrtf(x);
#else
    return 1.0f / std::sqrt(x);
#endif
}

TPL_HD float tracerSin(float x) {
#if defined(__CUDA_ARCH__)
    return __sinf(x);
#else
    return std::sin(x);
#endif
}

TPL_HD float tracerCos(float x) {
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
