// The simd kernel compiled for the AVX2 target (flags in cpu_kernel/sources.cmake).
#include "cpu_kernel/simd_target.h"

static_assert(HWY_TARGET == HWY_AVX2, "compiled with the AVX2 instruction set");

const SimdTarget simdTargetAvx2 = tpl::HWY_NAMESPACE::thisTarget();
