#pragma once
// Small hand-built scene records and helpers for the tracer tests.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/transport.h"
#include "scene/build_setting.h"
#include "scene/frame_data.h"

const Vec3 origin{0.0f, 0.0f, 0.0f};
const Vec3 alongZ{0.0f, 0.0f, 1.0f};

// A 640 x 480 record with nothing in it: counted layout, camera at the origin
// looking down +z with rows going down.
inline FrameData emptyRecord() {
    FrameData fd{};
    fd.width = frameWidth, fd.height = frameHeight;
    fd.invWidth = 0.0015625f, fd.invHeight = 0.0020833334f;
    fd.camForward[2] = 1.0f, fd.camVertical[1] = -1.0f, fd.camRight[0] = 1.0f;
    fd.samplesPerFrame = samplesPerFrame;
    return fd;
}

inline void setSphere(FrameData& fd, int i, Vec3 c, float r, int material) {
    fd.sphereX[i] = c.x, fd.sphereY[i] = c.y, fd.sphereZ[i] = c.z;
    fd.sphereRadius[i] = r, fd.sphereRadius2[i] = r * r, fd.sphereMaterial[i] = material;
}

// Appends a sphere in the counted layout.
inline void addSphere(FrameData& fd, Vec3 c, float r, int material) {
    setSphere(fd, fd.sphereCount++, c, r, material);
}

inline void setBox(FrameData& fd, int j, Vec3 a, Vec3 b, int material) {
    fd.boxMinX[j] = a.x, fd.boxMinY[j] = a.y, fd.boxMinZ[j] = a.z;
    fd.boxMaxX[j] = b.x, fd.boxMaxY[j] = b.y, fd.boxMaxZ[j] = b.z;
    fd.boxMaterial[j] = material;
}

inline void addBox(FrameData& fd, Vec3 a, Vec3 b, int material) {
    setBox(fd, fd.boxCount++, a, b, material);
}

inline void setBounds(FrameData& fd, int v, Vec3 a, Vec3 b) {
    fd.boundsMinX[v] = a.x, fd.boundsMinY[v] = a.y, fd.boundsMinZ[v] = a.z;
    fd.boundsMaxX[v] = b.x, fd.boundsMaxY[v] = b.y, fd.boundsMaxZ[v] = b.z;
}

// A table of scattered stratum numbers, every byte valid for this build.
inline const unsigned char* samplerTable() {
    static std::vector<unsigned char> table(samplesPerFrame * samplerLevels * samplerChannels);
    for (size_t i = 0; i < table.size(); ++i) table[i] = ((static_cast<unsigned>(i + 1) * 2654435761u) >> 16) % samplesPerFrame;
    return table.data();
}

// How many draws lead from state before to state after (-1 if none within 1000).
inline int drawsBetween(PixelRng a, const PixelRng& b) {
    for (int n = 0; n <= 1000; ++n, nextRandom(a))
        if (a.mwcHigh == b.mwcHigh && a.mwcLow == b.mwcLow && a.congState == b.congState && a.shiftState == b.shiftState)
            return n;
    return -1;
}

inline void expectVec(Vec3 v, Vec3 e, float tol = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, tol);
    EXPECT_NEAR(v.y, e.y, tol);
    EXPECT_NEAR(v.z, e.z, tol);
}
