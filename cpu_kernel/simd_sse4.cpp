// The simd kernel compiled for the SSE4 target (flags in cpu_kernel/sources.cmake).
#include "cpu_kernel/simd_target.h"

static_assert(HWY_TARGET == HWY_SSE4, "compiled with the SSE4 instruction set");

const SimdTarget simdTargetSse4 = tpl::HWY_NAMESPACE::thisTarget();
