// The simd kernel compiled for the AVX3 target (flags in cpu_kernel/sources.cmake).
#include "cpu_kernel/simd_target.h"

static_assert(HWY_TARGET == HWY_AVX3, "compiled with the AVX3 instruction set");

const SimdTarget simdTargetAvx3 = tpl::HWY_NAMESPACE::thisTarget();
