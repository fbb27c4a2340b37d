#pragma once
// Small hand-built scene records and helpers for the tracer tests.
#include <cmath>
#include <vector>

#include "kernel/rng.h"
#include "kernel/vec3.h"
#include "scene/build_setting.h"
#include "scene/frame_data.h"

// A 640 x 480 record with nothing in it: counted layout, no spheres, no boxes,
// camera at the origin looking down +z with rows going down.
inline FrameData emptyRecord() {
    FrameData fd{};
    fd.width = frameWidth;
    fd.height = frameHeight;
    fd.invWidth = 0.0015625f;
    fd.invHeight = 0.0020833334f;
    fd.camForward[2] = 1.0f;
    fd.camVertical[1] = -1.0f;
    fd.camRight[0] = 1.0f;
    fd.samplesPerFrame = samplesPerFrame;
    return fd;
}

inline void setSphere(FrameData& fd, int i, Vec3 c, float r, int material) {
    fd.sphereX[i] = c.x;
    fd.sphereY[i] = c.y;
    fd.sphereZ[i] = c.z;
    fd.sphereRadius[i] = r;
    fd.sphereRadius2[i] = r * r;
    fd.sphereMaterial[i] = material;
}

// Appends a sphere in the counted layout and returns its index.
inline int addSphere(FrameData& fd, Vec3 c, float r, int material) {
    const int i = fd.sphereCount++;
    setSphere(fd, i, c, r, material);
    return i;
}

inline void setBox(FrameData& fd, int j, Vec3 a, Vec3 b, int material) {
    fd.boxMinX[j] = a.x;
    fd.boxMinY[j] = a.y;
    fd.boxMinZ[j] = a.z;
    fd.boxMaxX[j] = b.x;
    fd.boxMaxY[j] = b.y;
    fd.boxMaxZ[j] = b.z;
    fd.boxMaterial[j] = material;
}

inline int addBox(FrameData& fd, Vec3 a, Vec3 b, int material) {
    const int j = fd.boxCount++;
    setBox(fd, j, a, b, material);
    return j;
}

inline void setMaterial(FrameData& fd, int m, float r, float g, float b, float kind) {
    fd.materials[m] = {r, g, b, kind};
}

inline void setBounds(FrameData& fd, int v, Vec3 a, Vec3 b) {
    fd.boundsMinX[v] = a.x;
    fd.boundsMinY[v] = a.y;
    fd.boundsMinZ[v] = a.z;
    fd.boundsMaxX[v] = b.x;
    fd.boundsMaxY[v] = b.y;
    fd.boundsMaxZ[v] = b.z;
}

// A table of scattered stratum numbers, every byte valid for this build.
inline std::vector<unsigned char> simpleSamplerTable() {
    std::vector<unsigned char> table(samplesPerFrame * samplerLevels * samplerChannels);
    for (size_t i = 0; i < table.size(); ++i) {
        const unsigned hash = static_cast<unsigned>(i + 1) * 2654435761u;
        table[i] = static_cast<unsigned char>((hash >> 16) % samplesPerFrame);
    }
    return table;
}

inline bool sameState(const PixelRng& a, const PixelRng& b) {
    return a.mwcHigh == b.mwcHigh && a.mwcLow == b.mwcLow && a.congState == b.congState && a.shiftState == b.shiftState;
}

// How many draws lead from state before to state after (-1 if none within 1000).
inline int drawsBetween(PixelRng before, const PixelRng& after) {
    for (int n = 0; n <= 1000; ++n) {
        if (sameState(before, after)) return n;
        nextRandom(before);
    }
    return -1;
}

inline Vec3 unit(Vec3 v) {
    const float len = std::sqrt(dot(v, v));
    return v * (1.0f / len);
}
