#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <future>
#include <tuple>

#include "anim/camera.h"
#include "support/test_paths.h"

namespace {

void expectVec(Vec3 got, Vec3 want, float tolerance = 1e-4f) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
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
    const Vec3 ahead = past.cameraLook - past.cameraPos;
    EXPECT_NEAR(dot(ahead, ahead), 1.0f, 1e-5f);
}

TEST(FlightKeys, WNudgesTheEyeForOneFrameOfAnActiveSegment) {
    Camera cam = onSegment(2, 0.0f, 0.00006f), reference = cam;
    const HeldKeys keys{/*w=*/true};
    updateKeyframeCamera(cam, 20.0f);
    const Vec3 onLine = cam.cameraPos;
    handleFlightKeys(cam, keys, 20.0f);
    expectVec(cam.cameraPos - onLine, {0, 0, 1.024f});
    // The next frame puts the eye back on the segment's line.
    updateKeyframeCamera(cam, 20.0f);
    for (int i = 0; i < 2; ++i) updateKeyframeCamera(reference, 20.0f);
    expectVec(cam.cameraPos, reference.cameraPos, 1e-5f);
}

TEST(CameraBasis, LevelViewAndDegenerateLookPointsNeverGiveNaN) {
    Camera cam;
    FrameData fd{};
    auto read3 = [](const float* v) { return Vec3{v[0], v[1], v[2]}; };
    auto expectBasis = [&](Vec3 pos, Vec3 look, Vec3 forward, Vec3 vertical, Vec3 right) {
        cam.cameraPos = pos;
        cam.cameraLook = look;
        updateCameraBasis(cam, fd, 64);
        expectVec(read3(fd.camForward), forward, 1e-6f);
        expectVec(read3(fd.camVertical), vertical, 1e-6f);
        expectVec(read3(fd.camRight), right, 1e-6f);
    };
    expectBasis({1, 2, 3}, {1, 2, 4}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0});  // rows grow downwards
    expectVec(read3(fd.camPosition), {1, 2, 3}, 0);
    EXPECT_EQ(fd.samplesPerFrame, 64);
    expectBasis({1, 2, 3}, {-2, 2, 3}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1});
    expectBasis({5, 5, 5}, {5, 5, 5}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1});  // look point on the eye: last view
    expectBasis({5, 5, 5}, {5, 9, 5}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1});   // straight up: last right axis
}

TEST(CameraFile, MissingShortGarbageAndNonFiniteFiles) {
    // File text (null: no file), whether it counts as read, then the eye afterwards.
    const std::tuple<const char*, bool, Vec3> cases[] = {
        {nullptr, false, {0, 50, -300}},
        {"10.5 20 -30\n", true, {0, 50, -300}},
        {"1 2 3 4 5 6\n", true, {4, 5, 6}},
        {"not a camera", true, {0, 50, -300}},
        {"nan 0 0 inf 1 2e1", true, {0, 1, 20}}};  // parsed, but never a usable view
    const std::string dir = scratchDir("camera_file");
    for (const auto& [text, read, pos] : cases) {
        const std::string path = dir + (text ? "/cam.txt" : "/absent.txt");
        if (text) std::ofstream(path) << text;
        Camera cam;
        cam.cameraPos = {7, 7, 7};
        EXPECT_EQ(loadCameraFile(cam, path.c_str()), read);
        expectVec(cam.cameraPos, pos, 0);
    }
}

TEST(CameraFile, APipeOrAFolderUnderTheNameIsSkippedWithOneWarning) {
    const std::string dir = scratchDir("camera_special");
    const std::string pipe = dir + "/cam.txt", folder = dir + "/folder";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    for (const std::string& path : {pipe, folder}) {
        Camera cam;
        cam.cameraPos = {7, 7, 7};
        testing::internal::CaptureStderr();
        auto load = std::async(std::launch::async, [&] { return loadCameraFile(cam, path.c_str()); });
        const bool finished = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!finished) {
            // A reader stuck waiting for a writer: be one, so the load can end.
            const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
        }
        const bool read = load.get();
        const std::string warning = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(finished) << path << ": the load waited for a writer";
        EXPECT_FALSE(read) << path;
        EXPECT_EQ(warning, "camera file " + path + " is not a regular file; skipped\n");
        expectVec(cam.cameraPos, startCameraPosition, 0);
    }
}

namespace {

// Bytes this process has read through system calls so far.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

}  // namespace

// The numbers anywhere in the file's start, in any layout sscanf's %f takes;
// a file of any length is read only that far (a 1 GB file once took seconds
// and its size in memory).
TEST(CameraFile, ReadsTheNumbersAtTheStartAndNoFurther) {
    const std::string dir = scratchDir("camera_start");
    const std::tuple<std::string, Vec3> layouts[] = {
        {"\n\t 0 0 0\n  1.5e1\n-2\n+.25 and whatever follows", {15, -2, 0.25f}},
        {"0 0 0 4 5 6 7 8 9", {4, 5, 6}},
        {std::string(cameraFileReadLimit, ' ') + "0 0 0 4 5 6", {0, 50, -300}},  // past what is read
    };
    for (const auto& [text, pos] : layouts) {
        const std::string path = dir + "/cam.txt";
        std::ofstream(path, std::ios::trunc) << text;
        Camera cam;
        EXPECT_TRUE(loadCameraFile(cam, path.c_str()));
        expectVec(cam.cameraPos, pos, 0);
    }

    // Six numbers, then a quarter of a gigabyte (sparse: it costs no disk).
    const std::string huge = dir + "/huge.txt";
    std::ofstream(huge) << "0 0 0 4 5 6\n";
    ASSERT_EQ(truncate(huge.c_str(), 256LL << 20), 0);
    const long long before = bytesRead();
    ASSERT_GE(before, 0) << "no /proc/self/io";
    Camera cam;
    EXPECT_TRUE(loadCameraFile(cam, huge.c_str()));
    const long long read = bytesRead() - before;
    expectVec(cam.cameraPos, {4, 5, 6}, 0);
    EXPECT_LE(read, static_cast<long long>(cameraFileReadLimit) + 4096) << "bytes read for six numbers";
}
