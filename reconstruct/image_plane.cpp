#include "reconstruct/image_plane.h"

namespace {

Vec3 axis(const float a[3]) {
    return {a[0], a[1], a[2]};
}

// The image plane's offsets in pixels for the record's frame shape, rounded
// as pixelCorner rounds them: the columns from the 4:3 view's left edge, and
// the rows above the first one.
struct PlaneOffsets {
    float wider;
    float down;
};

PlaneOffsets planeOffsets(const FrameData& fd) {
    const float wider = static_cast<float>(4 * fd.height - 3 * fd.width) * (1.0f / 6.0f);
    return {wider, static_cast<float>(fd.width - fd.height) * 0.5f + wider};
}

void cross3(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double dot3(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Radical inverse of i in the given base: i's digits mirrored behind the point.
double radicalInverse(int i, int base) {
    double value = 0.0, scale = 1.0 / base;
    for (; i > 0; i /= base, scale /= base) value += (i % base) * scale;
    return value;
}

}  // namespace

Vec3 directionThrough(const FrameData& fd, PixelPos pos) {
    // The same operations in the same order as pixelCorner and pixelGuide.
    const PlaneOffsets off = planeOffsets(fd);
    const float invW = fd.invWidth;
    const float cornerU = (pos.x + off.wider) * invW;
    const float cornerV = (pos.y + off.down) * invW;
    const float u = (invW * guideRayAcross + cornerU) - 0.5f;
    const float v = (invW * guideRayDown + cornerV) - 0.5f;
    return (axis(fd.camForward) + u * axis(fd.camRight)) + v * axis(fd.camVertical);
}

PlaneInverse planeInverse(const FrameData& fd) {
    const double f[3] = {fd.camForward[0], fd.camForward[1], fd.camForward[2]};
    const double r[3] = {fd.camRight[0], fd.camRight[1], fd.camRight[2]};
    const double v[3] = {fd.camVertical[0], fd.camVertical[1], fd.camVertical[2]};
    // dir = s (forward + u right + v vertical): the inverse of the matrix of
    // the three axes gives s, s u and s v, so axes that are not orthogonal
    // are solved exactly too. Its rows are the cofactors over the determinant.
    PlaneInverse plane;
    cross3(r, v, plane.rows[0]);
    cross3(v, f, plane.rows[1]);
    cross3(f, r, plane.rows[2]);
    const double det = dot3(f, plane.rows[0]);
    for (auto& row : plane.rows)
        for (double& c : row) c /= det;
    const PlaneOffsets off = planeOffsets(fd);
    plane.invWidth = fd.invWidth;
    plane.centreX = 0.5 / plane.invWidth - guideRayAcross - off.wider;
    plane.centreY = 0.5 / plane.invWidth - guideRayDown - off.down;
    return plane;
}

PixelPos positionOf(const FrameData& fd, const double dir[3]) {
    return positionOn(planeInverse(fd), dir);
}

PixelPos positionOf(const FrameData& fd, Vec3 dir) {
    const double d[3] = {dir.x, dir.y, dir.z};
    return positionOf(fd, d);
}

FrameData jitteredRecord(const FrameData& fd, float dx, float dy) {
    FrameData out = fd;
    const float across = dx * fd.invWidth, down = dy * fd.invWidth;
    for (int a = 0; a < 3; ++a) out.camForward[a] = (fd.camForward[a] + across * fd.camRight[a]) + down * fd.camVertical[a];
    return out;
}

PixelPos jitterOffset(int n) {
    const int index = ((n % haltonPeriod) + haltonPeriod) % haltonPeriod + 1;
    return {static_cast<float>(radicalInverse(index, 2) - 0.5), static_cast<float>(radicalInverse(index, 3) - 0.5)};
}

PixelMap pixelMap(const FrameData& from, const FrameData& to) {
    const PixelPos o = positionOf(to, directionThrough(from, {0.0f, 0.0f}));
    const PixelPos x = positionOf(to, directionThrough(from, {1.0f, 0.0f}));
    const PixelPos y = positionOf(to, directionThrough(from, {0.0f, 1.0f}));
    return {o, {x.x - o.x, x.y - o.y}, {y.x - o.x, y.y - o.y}};
}
