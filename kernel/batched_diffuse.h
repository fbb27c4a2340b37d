#pragma once
// Diffuse hits as the batched kernel shades them, for the tests: shadeDiffuse
// (kernel/materials.h) in vector lanes against its scalar steps.
#include <cstdint>

#include "kernel/frame_data.h"
#include "kernel/rng.h"
#include "kernel/vec3.h"

// Entry for the tests: one diffuse hit as the batched kernel shades it.
struct DiffuseCase {
    Vec3 origin, dir;  // the ray that hit
    float t;
    Vec3 normal;
    Vec3 throughput;  // tinted
    PixelRng rng;
    int byte0, byte1;
};

struct DiffuseOutcome {
    Vec3 throughput;
    PixelRng rng;
    Vec3 nextOrigin, nextDir;
    Vec3 shadowOrigin, toLight;
    float cosLight, lightDistance;
    Vec3 light;  // added when the shadow ray is clear
};

// The batched kernel's sine and cosine of n angles: certain[e] is 1 where the
// vector evaluation vouches for angle e's bits (elsewhere the kernel asks the
// library, and so does this entry).
void batchedSinCosForTest(const float* x, int n, float* cosine, float* sine, unsigned char* certain);
void batchedDiffuseForTest(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out);
// The same hit through shadeDiffuse's steps as the scalar kernel takes them:
// the reference every lane must equal.
DiffuseOutcome scalarDiffuseOutcome(const FrameData& fd, const DiffuseCase& c);
