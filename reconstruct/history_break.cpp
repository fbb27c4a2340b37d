#include "reconstruct/history_break.h"

#include <cmath>

namespace {

float lengthSquared(const float* a, const float* b) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

float dot3(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace

bool historyBreaks(const FrameData& before, const FrameData& now) {
    if (before.sceneId != now.sceneId || before.width != now.width || before.height != now.height) return true;
    if (!(lengthSquared(before.camPosition, now.camPosition) <= cutDistance * cutDistance)) return true;
    // The forward vectors are unit up to rounding (and a sub-pixel jitter).
    const float turn = dot3(before.camForward, now.camForward) /
                       std::sqrt(dot3(before.camForward, before.camForward) * dot3(now.camForward, now.camForward));
    return !(turn >= cutTurnCosine);
}
