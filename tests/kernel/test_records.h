#pragma once
// Small hand-built scene records for the tracer's tests.
#include "kernel/frame_data.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"

namespace {

// A 640 x 480 record with nothing in it: counted layout, camera at the origin
// looking down +z with rows going down.
inline FrameData emptyRecord() {
    FrameData fd{};
    fd.width = frameWidth, fd.height = frameHeight, fd.invWidth = 0.0015625f;
    fd.camForward[2] = 1.0f, fd.camVertical[1] = -1.0f, fd.camRight[0] = 1.0f, fd.samplesPerFrame = samplesPerFrame;
    return fd;
}

inline void setSphere(FrameData& fd, int i, Vec3 c, float r, int material) {
    fd.sphereX[i] = c.x, fd.sphereY[i] = c.y, fd.sphereZ[i] = c.z;
    fd.sphereRadius[i] = r, fd.sphereRadius2[i] = r * r, fd.sphereMaterial[i] = material;
}

// Appends a sphere or a box in the counted layout.
inline void addSphere(FrameData& fd, Vec3 c, float r, int material) {
    setSphere(fd, fd.sphereCount++, c, r, material);
}

inline void setBox(FrameData& fd, int j, Vec3 a, Vec3 b, int material) {
    fd.boxMinX[j] = a.x, fd.boxMinY[j] = a.y, fd.boxMinZ[j] = a.z;
    fd.boxMaxX[j] = b.x, fd.boxMaxY[j] = b.y, fd.boxMaxZ[j] = b.z, fd.boxMaterial[j] = material;
}

inline void addBox(FrameData& fd, Vec3 a, Vec3 b, int material) {
    setBox(fd, fd.boxCount++, a, b, material);
}

inline void setBounds(FrameData& fd, int v, Vec3 a, Vec3 b) {
    fd.boundsMinX[v] = a.x, fd.boundsMinY[v] = a.y, fd.boundsMinZ[v] = a.z;
    fd.boundsMaxX[v] = b.x, fd.boundsMaxY[v] = b.y, fd.boundsMaxZ[v] = b.z;
}

}  // namespace
