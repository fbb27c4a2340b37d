#include "reconstruct/motion.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"

namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

// Below this many pixels a frame is done on the calling thread: starting a
// thread costs about as much as a few thousand pixels.
constexpr long long pixelsPerThread = 32768;

Vec3 boxCentre(const FrameData& fd, int j) {
    return {(fd.boxMinX[j] + fd.boxMaxX[j]) * 0.5f, (fd.boxMinY[j] + fd.boxMaxY[j]) * 0.5f,
            (fd.boxMinZ[j] + fd.boxMaxZ[j]) * 0.5f};
}

constexpr int objectIds = firstBoxObjectId + maxBoxes;
constexpr float maxDepth = std::numeric_limits<float>::max();

// What every pixel of one pair of records shares, worked out once.
struct PairMotion {
    const FrameData* now;
    PlaneInverse nowPlane;  // for where its forward axis meets the plane
    double forward[3], right[3], vertical[3];  // now's camera axes
    PlaneInverse before;
    // Per object id: whether both records hold it, and how far it moved
    // from before to now, plus the step from before's camera to now's.
    bool held[objectIds];
    double back[objectIds][3];  // now's camera - object's move - before's camera
};

PairMotion pairMotion(const FrameData& now, const FrameData& before) {
    PairMotion m;
    m.now = &now;
    m.nowPlane = planeInverse(now);
    for (int c = 0; c < 3; ++c) {
        m.forward[c] = now.camForward[c];
        m.right[c] = now.camRight[c];
        m.vertical[c] = now.camVertical[c];
    }
    m.before = planeInverse(before);
    for (int k = 0; k < objectIds; ++k) {
        const bool sphere = k < firstBoxObjectId;
        const int j = sphere ? k : k - firstBoxObjectId;
        m.held[k] = sphere ? j < std::min(now.sphereCount, before.sphereCount)
                           : j < std::min(now.boxCount, before.boxCount);
        const Vec3 a = sphere ? sphereCentre(now, j) : boxCentre(now, j);
        const Vec3 b = sphere ? sphereCentre(before, j) : boxCentre(before, j);
        const double moved[3] = {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
        for (int c = 0; c < 3; ++c) m.back[k][c] = double(now.camPosition[c]) - moved[c] - before.camPosition[c];
    }
    return m;
}

// The pixel's earlier position from its guide values and its unnormalised
// direction from now's camera.
PixelPos previousPosition(const PairMotion& m, const float* g, const double dir[3]) {
    const float id = g[guideObject];
    // The sky is at infinity: only the turn of the camera moves it.
    if (id == static_cast<float>(missObjectId)) return positionOn(m.before, dir);
    // An id the tracer does not write, or an object one of the records lacks, has no earlier place.
    const float depth = g[guideHitDepth];
    if (!(id >= 0.0f && id < static_cast<float>(objectIds)) || !(depth >= 0.0f && depth <= maxDepth))
        return {nan, nan};
    const int k = static_cast<int>(id);
    if (static_cast<float>(k) != id || !m.held[k]) return {nan, nan};
    // The hit point along the unit ray, moved back with its object, as seen
    // from before's camera.
    const double t = depth / std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    const double seen[3] = {t * dir[0] + m.back[k][0], t * dir[1] + m.back[k][1], t * dir[2] + m.back[k][2]};
    return positionOn(m.before, seen);
}

void previousRows(const PairMotion& m, const float* guide, PixelPos* out, int y0, int y1) {
    const int width = m.now->width;
    const double invW = m.nowPlane.invWidth;
    for (int y = y0; y < y1; ++y) {
        // The guide ray's direction in double precision (directionThrough
        // rounds the same sum to floats): forward + u right + v vertical.
        const double v = (y - m.nowPlane.centreY) * invW;
        const double row[3] = {m.forward[0] + v * m.vertical[0], m.forward[1] + v * m.vertical[1],
                               m.forward[2] + v * m.vertical[2]};
        for (int x = 0; x < width; ++x) {
            const double u = (x - m.nowPlane.centreX) * invW;
            const double dir[3] = {row[0] + u * m.right[0], row[1] + u * m.right[1], row[2] + u * m.right[2]};
            const long long p = static_cast<long long>(y) * width + x;
            out[p] = previousPosition(m, guide + p * guideFloats, dir);
        }
    }
}

}  // namespace

void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out,
                       int threads) {
    const int height = now.height;
    if (now.width <= 0 || height <= 0) return;
    threads = std::max(1, std::min(threads, height));
    const PairMotion m = pairMotion(now, before);
    if (threads == 1) {
        previousRows(m, guide, out, 0, height);
        return;
    }
    // Each pixel is computed alone, so how the rows are split changes nothing.
    std::vector<std::thread> workers;
    const int rowsEach = (height + threads - 1) / threads;
    for (int t = 1; t < threads; ++t) {
        const int y0 = t * rowsEach, y1 = std::min(height, y0 + rowsEach);
        if (y0 < y1) workers.emplace_back(previousRows, std::cref(m), guide, out, y0, y1);
    }
    previousRows(m, guide, out, 0, std::min(height, rowsEach));
    for (std::thread& w : workers) w.join();
}

void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out) {
    const long long pixels = static_cast<long long>(now.width) * now.height;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int threads = static_cast<int>(std::min<long long>(cores, std::max(1LL, pixels / pixelsPerThread)));
    previousPositions(now, before, guide, out, threads);
}
