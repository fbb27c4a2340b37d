#include "scene/world.h"

void setInitialFrameValues(FrameData& fd) {
    setFrameSize(fd, frameWidth, frameHeight);
    // Placeholder camera: the basis step rewrites it before the first upload.
    const float forward[3] = {0.0f, 0.0f, 1.0f};
    const float vertical[3] = {0.0f, 1.0f, 0.0f};
    const float right[3] = {1.0f, 0.0f, 0.0f};
    const float position[3] = {0.0f, 0.0f, -10.0f};
    for (int a = 0; a < 3; ++a) {
        fd.camForward[a] = forward[a];
        fd.camVertical[a] = vertical[a];
        fd.camRight[a] = right[a];
        fd.camPosition[a] = position[a];
    }
}

void setFrameSize(FrameData& fd, int width, int height) {
    fd.width = width;
    fd.height = height;
    // A pixel's size on an image plane one unit wide for 4:3: 3 / (4 height),
    // which is 1 / width (rounded alike) for every 4:3 size.
    fd.invWidth = 0.75f / static_cast<float>(height);
}

void putSphere(FrameData& fd, int i, Vec3 centre, float radius, float radius2, int material) {
    fd.sphereX[i] = centre.x;
    fd.sphereY[i] = centre.y;
    fd.sphereZ[i] = centre.z;
    fd.sphereRadius[i] = radius;
    fd.sphereRadius2[i] = radius2;
    fd.sphereMaterial[i] = material;
}

void putBox(FrameData& fd, int i, Vec3 min, Vec3 max, int material) {
    fd.boxMinX[i] = min.x;
    fd.boxMinY[i] = min.y;
    fd.boxMinZ[i] = min.z;
    fd.boxMaxX[i] = max.x;
    fd.boxMaxY[i] = max.y;
    fd.boxMaxZ[i] = max.z;
    fd.boxMaterial[i] = material;
}
