#pragma once
#include <cstddef>
#include <string>

#include "anim/held_keys.h"
#include "kernel/vec3.h"
#include "kernel/frame_data.h"

constexpr int cameraSegmentCount = 8;
// Where the eye is before the camera file and the first camera segment move it.
constexpr Vec3 startCameraPosition{0.0f, 50.0f, -300.0f};

// How fast segment 1..8 runs, in segments per millisecond: segment 1 in under
// 7 s, segment 2 in 16.7 s, the others in 10 s.
constexpr float cameraSegmentRate(int segment) {
    return segment == 1 ? 0.00015f : segment == 2 ? 0.00006f : 0.0001f;
}

struct Camera {
    Vec3 cameraPos = startCameraPosition;
    Vec3 cameraLook{0.0f, 0.0f, 0.0f};
    // Columns: the side, up and forward axes the flight keys move along.
    float flightAxes[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    int cameraSegment = 0;  // 1..8, 0 = none
    float segmentT = 0.0f;
    float segmentRate = cameraSegmentRate(0);
    Vec3 lastForward{0.0f, 0.0f, 1.0f};  // kept for a degenerate look point
    Vec3 lastRight{1.0f, 0.0f, 0.0f};
};

void updateKeyframeCamera(Camera& cam, float dtMs);
void handleFlightKeys(Camera& cam, const HeldKeys& keys, float dtMs);
// Writes the camera frame and the samples-per-frame setting into the record.
void updateCameraBasis(Camera& cam, FrameData& fd, int samplesPerFrame);
// The eye position from the text of a camera file: six numbers, three angles
// (not used by this camera) then x y z. Numbers the text does not supply, and
// ones that are not finite, leave the position as it is.
void parseCameraText(const std::string& text, Camera& cam);
// How much of a camera file is read: six numbers take a few dozen bytes.
constexpr std::size_t cameraFileReadLimit = 64 * 1024;
// Start position, then the eye position from "cam.txt" (or the given path) if it
// can be read: the numbers of its first cameraFileReadLimit bytes. Anything but
// a regular file is skipped with a warning. Returns true if the file was read.
bool loadCameraFile(Camera& cam, const char* path = "cam.txt");
