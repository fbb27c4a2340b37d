#pragma once
// Pixels and the camera's image plane. A pixel's position is continuous, in
// the units of its frame's pixels, and (x, y) with whole x and y is exactly
// where the guide ray of pixel (x, y) meets the plane (kernel/pixel_guide.h),
// so that positions in two frames of different records compare directly.
#include <cmath>
#include <limits>

#include "kernel/frame_data.h"
#include "kernel/vec3.h"

struct PixelPos {
    float x;
    float y;
};
// The vector loops read arrays of positions as pairs of floats.
static_assert(sizeof(PixelPos) == 2 * sizeof(float), "PixelPos is two packed floats");

// Where in a pixel its guide ray passes, in pixels from the pixel's corner:
// the middle of the width and of the rows the primary rays cover.
constexpr float guideRayAcross = 0.5f;
constexpr float guideRayDown = 0.125f;

// The unnormalised direction from the record's camera through position pos,
// computed as the guide ray's is: for whole x and y it is, bit for bit, the
// direction pixelGuide normalises.
Vec3 directionThrough(const FrameData& fd, PixelPos pos);
// Where the ray from the record's camera along dir meets the plane, in its
// pixels; x and y are NaN when dir points behind the camera or along the
// plane. The camera's axes need not be orthogonal (a jittered record's are not).
PixelPos positionOf(const FrameData& fd, Vec3 dir);
// positionOf for a direction held in double precision.
PixelPos positionOf(const FrameData& fd, const double dir[3]);

// What positionOf needs of a record, worked out once for many directions:
// the rows that turn a direction into its parts along the camera's axes
// (forward, right, vertical), and the plane's offsets in pixels.
struct PlaneInverse {
    double rows[3][3];
    double invWidth;
    double centreX;  // the position the forward axis passes through
    double centreY;
};
PlaneInverse planeInverse(const FrameData& fd);
// Inline: it runs once a pixel.
inline PixelPos positionOn(const PlaneInverse& plane, const double dir[3]) {
    const double s = plane.rows[0][0] * dir[0] + plane.rows[0][1] * dir[1] + plane.rows[0][2] * dir[2];
    const double su = plane.rows[1][0] * dir[0] + plane.rows[1][1] * dir[1] + plane.rows[1][2] * dir[2];
    const double sv = plane.rows[2][0] * dir[0] + plane.rows[2][1] * dir[1] + plane.rows[2][2] * dir[2];
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    if (!(s > 0.0) || !std::isfinite(su) || !std::isfinite(sv)) return {nan, nan};
    const double toPixels = 1.0 / (s * plane.invWidth);
    return {static_cast<float>(su * toPixels + plane.centreX), static_cast<float>(sv * toPixels + plane.centreY)};
}

// Positions in one frame turned into positions in another of the same view:
// the same camera position, right and vertical axes, the forward axis moved
// within the plane they span (a jitter), any frame size. Such a map is affine,
// so it is worked out once from three points and then costs two
// multiply-adds a coordinate.
struct PixelMap {
    PixelPos origin;  // where (0, 0) goes
    PixelPos alongX;  // what one pixel along x adds
    PixelPos alongY;
};
PixelMap pixelMap(const FrameData& from, const FrameData& to);
inline PixelPos mapped(const PixelMap& m, float x, float y) {
    return {m.origin.x + x * m.alongX.x + y * m.alongY.x, m.origin.y + x * m.alongX.y + y * m.alongY.y};
}

// The record with its view moved by (dx, dy) pixels of its own size: only the
// forward vector changes, so the kernel renders it as any other record.
FrameData jitteredRecord(const FrameData& fd, float dx, float dy);
// Frame n's sub-pixel offset, each coordinate in [-0.5, 0.5): the Halton
// sequence in bases 2 and 3 at index (n mod haltonPeriod) + 1 (index 0 is
// the corner of every base), repeating every haltonPeriod frames.
constexpr int haltonPeriod = 16;
PixelPos jitterOffset(int n);
