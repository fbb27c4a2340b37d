#pragma once
// The batched kernel's scene queries: many rays at once, in structure-of-arrays
// form, each answer bit for bit the scalar query's (traceNearest,
// occlusionDistance in kernel/intersect.h).
#include <cstdint>
#include <vector>

#include "kernel/frame_data.h"
#include "kernel/intersect.h"

// The queries read and write whole vectors: every array holds at least the ray
// count plus this many floats (the widest vector of any target).
constexpr int batchPadding = 64;

struct RayBatch {
    const float *ox, *oy, *oz;
    const float *dx, *dy, *dz;
    int count;
};

// A nearest-hit answer per ray; object and material ids as floats (exact).
struct HitBatch {
    float *t, *objectId, *material;
    float *nx, *ny, *nz;
};

// Entries for the tests: the batched queries over n rays of any alignment, on
// the vector target the kernel dispatches to.
void batchedNearestForTest(const FrameData& fd, const float* ox, const float* oy, const float* oz, const float* dx,
                           const float* dy, const float* dz, int n, HitRecord* out);
void batchedOcclusionForTest(const FrameData& fd, const float* ox, const float* oy, const float* oz, const float* dx,
                             const float* dy, const float* dz, int n, float* out);

// The vector targets the batched kernel can run on this CPU (empty without the
// vector library), and a way to make it use one of them; 0 restores its own choice.
std::vector<int64_t> batchedTargetsForTest();
void forceBatchedTargetForTest(int64_t target);
