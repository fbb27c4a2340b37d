#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "anim/camera.h"
#include "support/test_paths.h"

namespace {

void expectVec(Vec3 got, Vec3 want, float tolerance = 1e-4f) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

Vec3 read3(const float* v) {
    return {v[0], v[1], v[2]};
}
float length(Vec3 v) {
    return std::sqrt(dot(v, v));
}

void expectOrthonormal(const FrameData& fd) {
    const Vec3 f = read3(fd.camForward), v = read3(fd.camVertical), r = read3(fd.camRight);
    for (Vec3 axis : {f, v, r}) EXPECT_NEAR(length(axis), 1.0f, 1e-5f);  // fails on NaN too
    EXPECT_NEAR(dot(f, v), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(f, r), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(v, r), 0.0f, 1e-5f);
    EXPECT_EQ(r.y, 0.0f);
}

Camera onSegment(int segment, float u, float rate = 0.0001f) {
    Camera cam;
    cam.cameraSegment = segment;
    cam.segmentRate = rate;
    cam.segmentT = u;
    updateKeyframeCamera(cam, 0.0f);
    return cam;
}

}  // namespace

TEST(KeyframeCamera, StillSegmentAndRunningPastTheEnd) {
    for (float u : {0.0f, 1.0f, 2.5f}) {
        const Camera cam = onSegment(6, u);
        expectVec(cam.cameraPos, {5.77f, 4.79f, -39.24f});
        expectVec(cam.cameraLook, {5.76f, 4.9f, -38.24f}, 1e-2f);
    }
    const Camera past = onSegment(7, 1.2f);
    expectVec(past.cameraPos, {0.12f - 0.15f * 1.2f, 11.95f - 1.08f * 1.2f, 42.99f - 10.28f * 1.2f});
    EXPECT_NEAR(length(past.cameraLook - past.cameraPos), 1.0f, 1e-5f);

    Camera idle;
    updateKeyframeCamera(idle, 1000.0f);
    expectVec(idle.cameraPos, {0, 50, -300}, 0);
}

TEST(CameraBasis, LevelAndTiltedViews) {
    Camera cam;
    cam.cameraPos = {1, 2, 3};
    cam.cameraLook = {1, 2, 4};
    FrameData fd{};
    fd.samplesPerFrame = 7;
    updateCameraBasis(cam, fd, 64);
    expectVec(read3(fd.camForward), {0, 0, 1}, 1e-6f);
    expectVec(read3(fd.camRight), {1, 0, 0}, 1e-6f);
    expectVec(read3(fd.camVertical), {0, -1, 0}, 1e-6f);
    expectVec(read3(fd.camPosition), {1, 2, 3}, 0);
    EXPECT_EQ(fd.samplesPerFrame, 64);

    cam = onSegment(3, 0.4f);
    updateCameraBasis(cam, fd, 32);
    expectOrthonormal(fd);
    EXPECT_LT(fd.camVertical[1], 0.0f) << "rows grow downwards";
}

TEST(CameraBasis, DegenerateLookPointsKeepTheLastValidAxes) {
    Camera cam;
    FrameData fd{};
    cam.cameraPos = {0, 0, 0};
    cam.cameraLook = {-3, 0, 0};
    updateCameraBasis(cam, fd, 32);
    const Vec3 lastForward = read3(fd.camForward), lastRight = read3(fd.camRight);

    cam.cameraPos = cam.cameraLook = {5, 5, 5};  // look point on the eye
    updateCameraBasis(cam, fd, 32);
    expectOrthonormal(fd);
    expectVec(read3(fd.camForward), lastForward, 0);

    cam.cameraLook = {5, 9, 5};  // straight up: right is kept, vertical follows
    updateCameraBasis(cam, fd, 32);
    expectOrthonormal(fd);
    expectVec(read3(fd.camForward), {0, 1, 0}, 1e-6f);
    expectVec(read3(fd.camRight), lastRight, 0);

    Camera fresh;  // straight down before any valid view
    fresh.cameraPos = {0, 10, 0};
    fresh.cameraLook = {0, -10, 0};
    updateCameraBasis(fresh, fd, 32);
    expectOrthonormal(fd);
}

TEST(FlightKeys, NudgeTheEyeForOneFrameOfAnActiveSegment) {
    Camera cam = onSegment(2, 0.0f, 0.00006f);
    Camera reference = cam;
    HeldKeys keys;
    keys.w = true;
    updateKeyframeCamera(cam, 20.0f);
    const Vec3 onLine = cam.cameraPos;
    handleFlightKeys(cam, keys, 20.0f);
    expectVec(cam.cameraPos - onLine, {0, 0, 1.024f}, 1e-4f);

    updateKeyframeCamera(cam, 20.0f);
    updateKeyframeCamera(reference, 20.0f);
    updateKeyframeCamera(reference, 20.0f);
    expectVec(cam.cameraPos, reference.cameraPos, 1e-5f);
}

TEST(FlightKeys, AxesAnglesAndCounter) {
    Camera cam;
    cam.cameraPos = {0, 0, 0};
    HeldKeys keys;
    keys.d = keys.r = keys.s = keys.up = keys.left = keys.m = true;
    handleFlightKeys(cam, keys, 10.0f);
    expectVec(cam.cameraPos, {0.512f, 0.512f, -0.512f}, 1e-5f);
    EXPECT_NEAR(cam.cameraAngles[0], -0.18f, 1e-6f);
    EXPECT_NEAR(cam.cameraAngles[1], 0.36f, 1e-6f);
    EXPECT_EQ(cam.angleCounter, 1);
}

TEST(CameraFile, ReadsWhatTheFileSupplies) {
    const std::string dir = scratchDir("camera_file");
    auto load = [&](const char* text, Camera& cam) {
        const std::string path = dir + "/cam.txt";
        std::ofstream(path) << text;
        return loadCameraFile(cam, path.c_str());
    };
    Camera missing;
    missing.cameraPos = {1, 2, 3};
    missing.cameraAngles[0] = 9;
    EXPECT_FALSE(loadCameraFile(missing, (dir + "/absent.txt").c_str()));
    expectVec(missing.cameraPos, {0, 50, -300}, 0);
    EXPECT_EQ(missing.cameraAngles[0], 9.0f);

    Camera three, six, partial, garbage, poisoned;
    EXPECT_TRUE(load("10 20.5 -30\n", three));
    EXPECT_EQ(three.cameraAngles[1], 20.5f);
    expectVec(three.cameraPos, {0, 50, -300}, 0);
    EXPECT_TRUE(load("1 2 3\n4.5 -6 7e1", six));
    EXPECT_EQ(six.cameraAngles[0], 1.0f);
    expectVec(six.cameraPos, {4.5f, -6, 70}, 0);
    load("1 2 3 4 oops 6", partial);
    expectVec(partial.cameraPos, {4, 50, -300}, 0);
    garbage.cameraPos = {7, 7, 7};
    load("not a camera", garbage);
    expectVec(garbage.cameraPos, {0, 50, -300}, 0);
    EXPECT_EQ(garbage.cameraAngles[0], 0.0f);
    load("nan 0 0 inf 1 2", poisoned);  // parsed, but never a usable view
    EXPECT_EQ(poisoned.cameraAngles[0], 0.0f);
    expectVec(poisoned.cameraPos, {0, 1, 2}, 0);
}
