#include "scene/bounds.h"

#include <algorithm>

namespace {

constexpr int figureSphereCount = 4;
constexpr int figureBoxCount = 2;
constexpr int pedestalSphereCount = 5;
constexpr int pedestalBoxCount = 2;

// Boxes contribute their stored min corner only to the minimum and their
// stored max corner only to the maximum, whatever order a turned foot has.
void updateBounds(FrameData& fd, int slot, int firstSphere, int sphereCount, int firstBox, int boxCount) {
    float lo[3] = {1000.0f, 1000.0f, 1000.0f};
    float hi[3] = {-1000.0f, -1000.0f, -1000.0f};
    for (int i = firstSphere; i < firstSphere + sphereCount; ++i) {
        const float centre[3] = {fd.sphereX[i], fd.sphereY[i], fd.sphereZ[i]};
        const float r = fd.sphereRadius[i];
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], centre[a] - r);
            hi[a] = std::max(hi[a], centre[a] + r);
        }
    }
    for (int b = firstBox; b < firstBox + boxCount; ++b) {
        const float boxLo[3] = {fd.boxMinX[b], fd.boxMinY[b], fd.boxMinZ[b]};
        const float boxHi[3] = {fd.boxMaxX[b], fd.boxMaxY[b], fd.boxMaxZ[b]};
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], boxLo[a]);
            hi[a] = std::max(hi[a], boxHi[a]);
        }
    }
    fd.boundsMinX[slot] = lo[0];
    fd.boundsMinY[slot] = lo[1];
    fd.boundsMinZ[slot] = lo[2];
    fd.boundsMaxX[slot] = hi[0];
    fd.boundsMaxY[slot] = hi[1];
    fd.boundsMaxZ[slot] = hi[2];
}

}  // namespace

void updateFigureBounds(World& w) {
    updateBounds(w.frame, 0, w.slots.figureSphereStart, figureSphereCount, w.slots.figureBoxStart, figureBoxCount);
}

void updatePedestalBounds(World& w) {
    updateBounds(w.frame, 1, w.slots.pedestalSphereStart, pedestalSphereCount, w.slots.pedestalBoxStart,
                 pedestalBoxCount);
}
