#include "scene/world.h"

void setInitialFrameValues(FrameData& fd) {
    fd.width = frameWidth;
    fd.height = frameHeight;
    fd.invWidth = 0.0015625f;
    fd.invHeight = 0.0020833334f;
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
