// Built when the vector library is missing: the batched kernel is not there,
// and the CPU backend runs the scalar one.
#include "kernel/cpu_kernels.h"

bool batchedKernelAvailable() {
    return false;
}

void shadeRunBatched(const FrameWork& work, int begin, int end) {
    shadeRunScalar(work, begin, end);
}

const char* batchedTargetName() {
    return "none";
}

int batchedLaneCount() {
    return 1;
}
