#include "anim/camera.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace {

// Keyframes per segment, indexed by segment number - 1.
const Vec3 segmentFromPos[cameraSegmentCount] = {
    {31.06f, 15.42f, -12.9f}, {12.1f, 9.38f, -58.34f}, {80.01f, 26.97f, -14.46f}, {16.4f, 35.0f, -4.04f},
    {-51.45f, 19.84f, 8.04f}, {5.77f, 4.79f, -39.24f}, {0.12f, 11.95f, 42.99f},   {-14.82f, 15.02f, 74.0f}};
const Vec3 segmentToPos[cameraSegmentCount] = {
    {4.66f, 6.95f, 39.83f},   {14.16f, 11.08f, -23.71f}, {45.25f, 8.66f, 38.84f},  {16.4f, 35.0f, -4.04f},
    {-25.63f, 14.95f, 8.08f}, {5.77f, 4.79f, -39.24f},   {-0.03f, 10.87f, 32.71f}, {13.29f, 15.62f, 38.59f}};
const Vec3 segmentFromTarget[cameraSegmentCount] = {
    {31.84f, 14.89f, -12.58f}, {12.17f, 9.41f, -57.34f}, {79.06f, 26.72f, -14.28f}, {15.95f, 34.11f, -3.97f},
    {-50.52f, 19.46f, 7.97f},  {5.76f, 4.9f, -38.24f},   {0.11f, 11.85f, 41.99f},   {-14.59f, 15.06f, 73.03f}};
const Vec3 segmentToTarget[cameraSegmentCount] = {
    {4.97f, 6.69f, 38.91f},   {14.21f, 11.1f, -22.71f}, {44.43f, 8.49f, 38.3f},   {15.54f, 34.5f, -3.98f},
    {-24.77f, 14.55f, 7.78f}, {5.76f, 4.9f, -38.24f},   {-0.04f, 10.77f, 31.71f}, {12.92f, 15.42f, 37.68f}};

// Shorter than this counts as no direction at all: far below the float
// resolution of scene coordinates.
constexpr float degenerateLengthSq = 1e-12f;

// Unit vector along v, or false when v has no usable direction (zero or not finite).
bool normalised(Vec3 v, Vec3& out) {
    const float lengthSq = dot(v, v);
    if (!(lengthSq > degenerateLengthSq) || !std::isfinite(lengthSq)) return false;
    out = v * (1.0f / std::sqrt(lengthSq));
    return true;
}

Vec3 flightAxis(const Camera& cam, int column) {
    return {cam.flightAxes[0][column], cam.flightAxes[1][column], cam.flightAxes[2][column]};
}

}  // namespace

void updateKeyframeCamera(Camera& cam, float dtMs) {
    if (cam.cameraSegment <= 0 || cam.cameraSegment > cameraSegmentCount) return;
    cam.segmentT += cam.segmentRate * dtMs;
    const int i = cam.cameraSegment - 1;
    const float u = cam.segmentT;  // not clamped: past the end keyframe the line goes on
    const Vec3 p = segmentFromPos[i] + (segmentToPos[i] - segmentFromPos[i]) * u;
    const Vec3 t = segmentFromTarget[i] + (segmentToTarget[i] - segmentFromTarget[i]) * u;
    cam.cameraPos = p;
    Vec3 ahead;
    if (normalised(t - p, ahead)) cam.cameraLook = p + ahead;
}

void handleFlightKeys(Camera& cam, const HeldKeys& keys, float dtMs) {
    const float k = dtMs * 0.0002f;
    const float move = 256.0f * k;
    const Vec3 side = flightAxis(cam, 0);
    const Vec3 up = flightAxis(cam, 1);
    const Vec3 forward = flightAxis(cam, 2);
    if (keys.w) cam.cameraPos = cam.cameraPos + forward * move;
    if (keys.s) cam.cameraPos = cam.cameraPos - forward * move;
    if (keys.a) cam.cameraPos = cam.cameraPos - side * move;
    if (keys.d) cam.cameraPos = cam.cameraPos + side * move;
    if (keys.r) cam.cameraPos = cam.cameraPos + up * move;
    if (keys.f) cam.cameraPos = cam.cameraPos - up * move;
}

void updateCameraBasis(Camera& cam, FrameData& fd, int samplesPerFrame) {
    // A look point on the eye keeps the last view; one straight above or below
    // keeps the last horizontal axis, which is perpendicular to any vertical view.
    Vec3 forward = cam.lastForward;
    if (normalised(cam.cameraLook - cam.cameraPos, forward)) cam.lastForward = forward;
    Vec3 right = cam.lastRight;
    if (normalised(Vec3{forward.z, 0.0f, -forward.x}, right)) cam.lastRight = right;
    Vec3 vertical = cross(right, forward);
    normalised(vertical, vertical);  // already unit up to rounding

    const Vec3 axes[4] = {forward, vertical, right, cam.cameraPos};
    float* const fields[4] = {fd.camForward, fd.camVertical, fd.camRight, fd.camPosition};
    for (int f = 0; f < 4; ++f) {
        fields[f][0] = axes[f].x;
        fields[f][1] = axes[f].y;
        fields[f][2] = axes[f].z;
    }
    fd.samplesPerFrame = samplesPerFrame;
}

void parseCameraText(const std::string& text, Camera& cam) {
    // Numbers the text does not supply keep their values.
    float v[6] = {0.0f, 0.0f, 0.0f, cam.cameraPos.x, cam.cameraPos.y, cam.cameraPos.z};
    float read[6];
    for (int i = 0; i < 6; ++i) read[i] = v[i];
    const int got = std::sscanf(text.c_str(), "%f %f %f %f %f %f", &read[0], &read[1], &read[2], &read[3], &read[4],
                                &read[5]);
    // "nan" and "inf" parse as numbers but would poison the view; skip them.
    for (int i = 0; i < got && i < 6; ++i)
        if (std::isfinite(read[i])) v[i] = read[i];
    cam.cameraPos = {v[3], v[4], v[5]};
}

bool loadCameraFile(Camera& cam, const char* path) {
    cam.cameraPos = startCameraPosition;
    // Opened without waiting: a pipe under the name would otherwise hold the
    // start until something writes to it.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        std::fprintf(stderr, "camera file %s is not a regular file; skipped\n", path);
        return false;
    }
    // Six numbers never need more than the file's start: a huge file is not
    // read to its end nor held in memory.
    std::string text(cameraFileReadLimit, '\0');
    size_t got = 0;
    ssize_t n;
    while (got < text.size() && (n = ::read(fd, &text[got], text.size() - got)) > 0) got += static_cast<size_t>(n);
    text.resize(got);
    ::close(fd);
    parseCameraText(text, cam);
    return true;
}
