#pragma once
#include "anim/held_keys.h"
#include "kernel/vec3.h"
#include "kernel/frame_data.h"

constexpr int cameraSegmentCount = 8;

struct Camera {
    Vec3 cameraPos{0.0f, 50.0f, -300.0f};
    Vec3 cameraLook{0.0f, 0.0f, 0.0f};
    float cameraAngles[3] = {0.0f, 0.0f, 0.0f};
    float flightAxes[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    int angleCounter = 0;   // moved by N and M; nothing reads it
    int cameraSegment = 0;  // 1..8, 0 = none
    float segmentT = 0.0f;
    float segmentRate = 0.0001f;
    Vec3 lastForward{0.0f, 0.0f, 1.0f};  // kept for a degenerate look point
    Vec3 lastRight{1.0f, 0.0f, 0.0f};
};

void updateKeyframeCamera(Camera& cam, float dtMs);
void handleFlightKeys(Camera& cam, const HeldKeys& keys, float dtMs);
// Writes the camera frame and the samples-per-frame setting into the record.
void updateCameraBasis(Camera& cam, FrameData& fd, int samplesPerFrame);
// Start position, then "cam.txt" (or the given path) if it can be read. Returns true if the file was read.
bool loadCameraFile(Camera& cam, const char* path = "cam.txt");
