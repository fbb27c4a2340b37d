#pragma once
// Diffuse hits of the batched kernel in structure-of-arrays form: shadeDiffuse
// (kernel/materials.h) for many paths at once, split where the scalar code
// calls sine and cosine.
#include <cstdint>

#include "kernel/frame_data.h"
#include "kernel/rng.h"
#include "kernel/vec3.h"

// The lanes are kept in blocks of diffuseBlock paths, each block holding one
// run of diffuseBlock values per field, so filling or reading one path's lane
// takes a single base address (any vector width up to the block divides it).
constexpr int diffuseBlock = 16;

// clang-format off
enum DiffuseField : int {
    // In: the ray that hit, its hit distance and the surface normal; the four
    // draws' stratum numbers (byte0 & 7, byte0 >> 3, byte1 & 7, byte1 >> 3).
    fOx, fOy, fOz, fDx, fDy, fDz, fT, fNx, fNy, fNz,
    fAngle0, fSecond0, fAngle1, fSecond1,
    // In and out: the throughput (tinted, not yet scaled by diffuseFactor).
    fTr, fTg, fTb,
    // Between the passes: the light and bounce angles, their cosines and sines, u2 and u4.
    fPhi, fPhi2, fCosPhi, fSinPhi, fCosPhi2, fSinPhi2, fU2, fU4,
    // Out: the bounce in fOx..fDz; the shadow ray, the light's distance and
    // the light added when the shadow ray is clear.
    fShadowOx, fShadowOy, fShadowOz, fLx, fLy, fLz, fCosLight, fLightDistance, fLightR, fLightG, fLightB,
    diffuseFields
};
// clang-format on

// In and out: the generator's words.
enum DiffuseWord : int { wMwcHigh, wMwcLow, wCongState, wShiftState, diffuseWords };

struct DiffuseBatch {
    int count = 0;
    float* floats = nullptr;    // blocks of diffuseFields x diffuseBlock
    uint32_t* words = nullptr;  // blocks of diffuseWords x diffuseBlock

    // Lane e of a field is at(e)[field * diffuseBlock].
    float* at(int e) const { return floats + (e / diffuseBlock) * diffuseFields * diffuseBlock + e % diffuseBlock; }
    uint32_t* wordsAt(int e) const {
        return words + (e / diffuseBlock) * diffuseWords * diffuseBlock + e % diffuseBlock;
    }
};

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

void batchedDiffuseForTest(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out);
// The same hit through shadeDiffuse's steps as the scalar kernel takes them:
// the reference every lane must equal.
DiffuseOutcome scalarDiffuseOutcome(const FrameData& fd, const DiffuseCase& c);
