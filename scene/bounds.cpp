#include "scene/bounds.h"

#include <algorithm>

#include "kernel/grouped_scene.h"

namespace {

// Boxes contribute their stored min corner only to the minimum and their
// stored max corner only to the maximum, whatever order a turned foot has.
void updateBounds(FrameData& fd, int slot, IndexRange spheres, IndexRange boxes) {
    float lo[3] = {1000.0f, 1000.0f, 1000.0f};
    float hi[3] = {-1000.0f, -1000.0f, -1000.0f};
    for (int i = spheres.first; i < spheres.end(); ++i) {
        const float centre[3] = {fd.sphereX[i], fd.sphereY[i], fd.sphereZ[i]};
        const float r = fd.sphereRadius[i];
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], centre[a] - r);
            hi[a] = std::max(hi[a], centre[a] + r);
        }
    }
    for (int b = boxes.first; b < boxes.end(); ++b) {
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
    updateBounds(w.frame, figureBoundsSlot, groupedFigureSpheres, groupedFigureBoxes);
}

void updatePedestalBounds(World& w) {
    updateBounds(w.frame, pedestalBoundsSlot, groupedPedestalSpheres, groupedPedestalBoxes);
}
