// Built when the vector library is missing: the batched kernel is not there,
// and the CPU backend runs the scalar one.
#include "kernel/batched_diffuse.h"
#include "kernel/batched_queries.h"
#include "kernel/cpu_kernels.h"
#include "kernel/materials.h"

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

// The test entries answer with the scalar queries.
void batchedNearestForTest(const FrameData& fd, const float* ox, const float* oy, const float* oz, const float* dx,
                           const float* dy, const float* dz, int n, HitRecord* out) {
    for (int e = 0; e < n; ++e) out[e] = traceNearest(fd, {ox[e], oy[e], oz[e]}, {dx[e], dy[e], dz[e]});
}

void batchedOcclusionForTest(const FrameData& fd, const float* ox, const float* oy, const float* oz, const float* dx,
                             const float* dy, const float* dz, int n, float* out) {
    for (int e = 0; e < n; ++e) out[e] = occlusionDistance(fd, {ox[e], oy[e], oz[e]}, {dx[e], dy[e], dz[e]});
}

std::vector<int64_t> batchedTargetsForTest() {
    return {};
}

void forceBatchedTargetForTest(int64_t) {}

// shadeDiffuse's steps in the scalar kernel's order.
void batchedDiffuseForTest(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out) {
    for (int e = 0; e < n; ++e) out[e] = scalarDiffuseOutcome(fd, cases[e]);
}

void batchedSinCosForTest(const float* x, int n, float* cosine, float* sine, unsigned char* certain) {
    for (int e = 0; e < n; ++e) {
        cosine[e] = tracerCos(x[e]);
        sine[e] = tracerSin(x[e]);
        certain[e] = 1;
    }
}
