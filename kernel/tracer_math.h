#pragma once
// The tracer's number primitives for one path, in floats. On the GPU the
// arithmetic functions are the fast approximate hardware forms; on the host
// they are the exact library functions (correctly rounded where IEEE says so),
// so the CPU backend and the tests see reproducible results.
//
// The tracer is written once over a number type F: float here, and in the
// CPU's vector kernel a vector of lanes (cpu_kernel/lanes-inl.h) that provides
// the same functions. Branches on a condition become masks: select picks per
// lane, assign writes only where the mask holds, anyOf guards work no lane needs.
#include <cstdint>

#include "kernel/host_device.h"

#if !defined(__CUDA_ARCH__)
#include <cmath>
#endif

// The mask and integer types that go with a number type (a vector of lanes
// names its own).
template <class F>
struct NumberKinds {
    using Mask = typename F::Mask;
    using Int = typename F::Int;
    using UInt = typename F::UInt;
};
template <>
struct NumberKinds<float> {
    using Mask = bool;
    using Int = int32_t;
    using UInt = uint32_t;
};
template <class F>
using MaskOf = typename NumberKinds<F>::Mask;
template <class F>
using IntOf = typename NumberKinds<F>::Int;
template <class F>
using UIntOf = typename NumberKinds<F>::UInt;

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

// Both of x; a vector of lanes need only get the lanes of `active` right.
TPL_HD void tracerCosSin(float x, float& cosine, float& sine, bool active = true) {
    cosine = tracerCos(x);
    sine = tracerSin(x);
}

// Written as comparisons so host, device and lanes treat NaN the same way.
TPL_HD float minOf(float a, float b) {
    return a < b ? a : b;
}
TPL_HD float maxOf(float a, float b) {
    return a > b ? a : b;
}
TPL_HD float absOf(float a) {
    return a < 0.0f ? -a : a;
}

TPL_HD float select(bool m, float yes, float no) {
    return m ? yes : no;
}
TPL_HD int32_t select(bool m, int32_t yes, int32_t no) {
    return m ? yes : no;
}
TPL_HD uint32_t select(bool m, uint32_t yes, uint32_t no) {
    return m ? yes : no;
}
TPL_HD bool select(bool m, bool yes, bool no) {
    return m ? yes : no;
}
TPL_HD bool anyOf(bool m) {
    return m;
}
TPL_HD bool allOf(bool m) {
    return m;
}

// Converted to the nearest float.
TPL_HD float toFloat(int32_t v) {
    return static_cast<float>(v);
}
TPL_HD float toFloat(uint32_t v) {
    return static_cast<float>(v);
}

// Element i of a record array; a vector of lanes reads one element per lane.
TPL_HD float gather(const float* array, int32_t i) {
    return array[i];
}
TPL_HD int32_t gather(const int32_t* array, int32_t i) {
    return array[i];
}
TPL_HD int32_t gather(const unsigned char* array, int32_t i) {
    return array[i];
}

// Writes value into target where m holds (for one path: when m is true).
template <class T>
TPL_HD void assign(bool m, T& target, const T& value) {
    if (m) target = value;
}
