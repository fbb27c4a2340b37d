// The simd kernel's entry: the best vector target this CPU runs (the vector
// library's choice, which tests may narrow), else the scalar kernel.
#include <hwy/targets.h>

#include "cpu_kernel/cpu_kernels.h"
#include "cpu_kernel/simd_targets.h"

const SimdTarget* simdKernelTarget() {
    const int64_t supported = hwy::SupportedTargets();
    for (const SimdTarget* t : {&simdTargetAvx3, &simdTargetAvx2, &simdTargetSse4})
        if ((supported & t->target) != 0) return t;
    return nullptr;
}

bool simdKernelAvailable() {
    return simdKernelTarget() != nullptr;
}

void shadeRunSimd(const SimdTarget* target, const FrameWork& work, int begin, int end) {
    if (target)
        target->shadeRun(work, begin, end);
    else
        shadeRunScalar(work, begin, end);
}

void guideRunSimd(const SimdTarget* target, const FrameWork& work, float* guide, int begin, int end) {
    if (target)
        target->guideRun(work, guide, begin, end);
    else
        guideRun(work, guide, begin, end);
}

const char* simdTargetName() {
    const SimdTarget* t = simdKernelTarget();
    return t ? hwy::TargetName(t->target) : "none";
}

int simdLaneCount() {
    const SimdTarget* t = simdKernelTarget();
    return t ? t->lanes : 1;
}
