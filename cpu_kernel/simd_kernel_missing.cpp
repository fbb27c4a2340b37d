// Built when the vector library is missing: the simd kernel is not there,
// and the CPU backend runs the scalar one.
#include "cpu_kernel/cpu_kernels.h"

bool simdKernelAvailable() {
    return false;
}

void shadeRunSimd(const FrameWork& work, int begin, int end) {
    shadeRunScalar(work, begin, end);
}

const char* simdTargetName() {
    return "none";
}

int simdLaneCount() {
    return 1;
}
