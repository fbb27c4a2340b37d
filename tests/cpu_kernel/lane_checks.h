#pragma once
// The tracer's pieces in vector lanes, for the tests: one set of entries per
// vector target (lane_checks_<target>.cpp, compiled with that target's
// instruction set), each running n inputs a vector at a time.
#include <cstdint>

#include "kernel/materials.h"
#include "kernel/rng.h"

struct DiffuseCase {
    Vec3 p, normal, throughput;
    PixelRng rng;
    int byte0, byte1;
};

struct DiffuseOutcome {
    DiffuseResponse<float> response;
    PixelRng rng;
};

struct LaneChecks {
    int64_t target;  // the vector library's target bit
    // Nearest hit and occlusion of n rays (o, d as six arrays of n).
    void (*queries)(const FrameData& fd, const float* const rays[6], int n, HitRecord* hits, float* occlusion);
    void (*diffuse)(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out);
    void (*cosSin)(const float* x, int n, float* cosine, float* sine);
};

extern const LaneChecks laneChecksAvx3;
extern const LaneChecks laneChecksAvx2;
extern const LaneChecks laneChecksSse4;
