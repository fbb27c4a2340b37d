#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <hwy/targets.h>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "reconstruct/motion.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"
#include "show_records.h"

namespace {

// The first-hit distance and object of every pixel, traced along the unit
// direction through its whole position, at the guide layer's offsets.
std::vector<float> tracedGuide(const FrameData& fd) {
    const int pixels = fd.width * fd.height;
    std::vector<float> guide(static_cast<size_t>(pixels) * guideFloats, 0.0f);
    const Vec3 camera{fd.camPosition[0], fd.camPosition[1], fd.camPosition[2]};
    for (int p = 0; p < pixels; ++p) {
        Vec3 d = directionThrough(fd, {static_cast<float>(p % fd.width), static_cast<float>(p / fd.width)});
        d = d * (1.0f / std::sqrt(dot(d, d)));
        const HitRecord hit = traceNearest(fd, camera, d);
        guide[static_cast<size_t>(p) * guideFloats + guideHitDepth] = hit.t;
        guide[static_cast<size_t>(p) * guideFloats + guideObject] = static_cast<float>(hit.objectId);
    }
    return guide;
}

// How far, in the record's pixels, the ray through pos passes from the
// direction `target`: both met with the plane one unit along the forward
// axis (the image plane for the show's orthonormal cameras).
double planeMiss(const FrameData& fd, PixelPos pos, const double target[3]) {
    const Vec3 a = directionThrough(fd, pos);
    const double f[3] = {fd.camForward[0], fd.camForward[1], fd.camForward[2]};
    const double da[3] = {a.x, a.y, a.z};
    const double aF = da[0] * f[0] + da[1] * f[1] + da[2] * f[2];
    const double bF = target[0] * f[0] + target[1] * f[1] + target[2] * f[2];
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double diff = da[k] / aF - target[k] / bF;
        sum += diff * diff;
    }
    return std::sqrt(sum) / fd.invWidth;
}

std::vector<PixelPos> previousOf(const FrameData& now, const FrameData& before, const std::vector<float>& guide,
                                 int threads = 2) {
    std::vector<PixelPos> out(static_cast<size_t>(now.width) * now.height, PixelPos{-1.0f, -1.0f});
    previousPositions(now, before, guide.data(), out.data(), threads);
    return out;
}

float guideAt(const std::vector<float>& guide, int p, int offset) {
    return guide[static_cast<size_t>(p) * guideFloats + offset];
}

// The hit point of pixel p seen from the record's camera, in double precision.
void hitOffset(const FrameData& fd, const std::vector<float>& guide, int p, const float from[3], double out[3]) {
    Vec3 d = directionThrough(fd, {static_cast<float>(p % fd.width), static_cast<float>(p / fd.width)});
    d = d * (1.0f / std::sqrt(dot(d, d)));
    const double t = guideAt(guide, p, guideHitDepth);
    const double dir[3] = {d.x, d.y, d.z};
    for (int a = 0; a < 3; ++a) out[a] = fd.camPosition[a] + t * dir[a] - from[a];
}

Vec3 axis(const float a[3]) {
    return {a[0], a[1], a[2]};
}

// now's scene seen by before's camera.
FrameData withCameraOf(FrameData scene, const FrameData& camera) {
    for (int a = 0; a < 3; ++a) {
        scene.camForward[a] = camera.camForward[a];
        scene.camVertical[a] = camera.camVertical[a];
        scene.camRight[a] = camera.camRight[a];
        scene.camPosition[a] = camera.camPosition[a];
    }
    return scene;
}

// Ticks at 30 frames a second in each scene, with the camera on the move:
// sliding in the spheres (5 s, 0.2 pixels a tick), turning at the pedestal
// (15 s, 3 pixels) and in the room (97 s, 0.7 pixels).
const int sceneTicks[] = {150, 450, 2900};

}  // namespace

TEST(PreviousPositions, AStillCameraAndSceneKeepEveryPixelWhereItIs) {
    for (int tick : sceneTicks) {
        const FrameData fd = successiveTicks(tick, 320, 240).now;
        const std::vector<float> guide = tracedGuide(fd);
        const std::vector<PixelPos> prev = previousOf(fd, fd, guide);
        double worst = 0.0;
        for (int p = 0; p < fd.width * fd.height; ++p) {
            ASSERT_FALSE(std::isnan(prev[p].x)) << tick << " pixel " << p;
            worst = std::max({worst, std::fabs(prev[p].x - double(p % fd.width)),
                              std::fabs(prev[p].y - double(p / fd.width))});
        }
        EXPECT_LT(worst, 1e-3) << "tick " << tick;
    }
}

TEST(PreviousPositions, ATurningCameraSeesStillObjectsWhereTheyProject) {
    for (int tick : sceneTicks) {
        const TickPair ticks = successiveTicks(tick, 320, 240);
        const FrameData& now = ticks.now;
        const FrameData before = withCameraOf(now, ticks.before);
        const std::vector<float> guide = tracedGuide(now);
        const std::vector<PixelPos> prev = previousOf(now, before, guide);
        double worst = 0.0, moved = 0.0;
        for (int p = 0; p < now.width * now.height; ++p) {
            double seen[3];
            if (guideAt(guide, p, guideObject) == float(missObjectId)) {
                const Vec3 d = directionThrough(now, {float(p % now.width), float(p / now.width)});
                seen[0] = d.x, seen[1] = d.y, seen[2] = d.z;
            } else {
                hitOffset(now, guide, p, before.camPosition, seen);
            }
            ASSERT_FALSE(std::isnan(prev[p].x)) << tick << " pixel " << p;
            worst = std::max(worst, planeMiss(before, prev[p], seen));
            moved = std::max({moved, std::fabs(prev[p].x - double(p % now.width)),
                              std::fabs(prev[p].y - double(p / now.width))});
        }
        EXPECT_LT(worst, 1e-3) << "tick " << tick;
        EXPECT_GT(moved, 0.1) << "the camera hardly moved at tick " << tick;
    }
}

TEST(PreviousPositions, AnObjectThatSlidesAcrossTheViewMovesItsPixelsByItsOwnMotion) {
    const FrameData now = successiveTicks(150, 320, 240).now;
    const std::vector<float> guide = tracedGuide(now);
    const int pixels = now.width * now.height;
    const Vec3 right = axis(now.camRight), vertical = axis(now.camVertical), forward = axis(now.camForward);
    // The non-light sphere and the box that cover most pixels.
    std::vector<int> cover(firstBoxObjectId + maxBoxes, 0);
    for (int p = 0; p < pixels; ++p) {
        const int id = static_cast<int>(guideAt(guide, p, guideObject));
        if (id > 0 && id < firstBoxObjectId + maxBoxes) ++cover[id];
    }
    const int sphere = static_cast<int>(std::max_element(cover.begin() + 1, cover.begin() + firstBoxObjectId) -
                                        cover.begin());
    const int box = static_cast<int>(std::max_element(cover.begin() + firstBoxObjectId, cover.end()) - cover.begin());
    ASSERT_GT(cover[sphere], 100);
    ASSERT_GT(cover[box], 100);

    // Since before, each moved across the view: 0.8 along the right axis and -0.5 along the vertical one.
    const double across = 0.8, down = -0.5;
    const Vec3 slide = right * float(across) + vertical * float(down);
    FrameData before = now;
    before.sphereX[sphere] -= slide.x, before.sphereY[sphere] -= slide.y, before.sphereZ[sphere] -= slide.z;
    const int j = box - firstBoxObjectId;
    before.boxMinX[j] -= slide.x, before.boxMinY[j] -= slide.y, before.boxMinZ[j] -= slide.z;
    before.boxMaxX[j] -= slide.x, before.boxMaxY[j] -= slide.y, before.boxMaxZ[j] -= slide.z;

    const std::vector<PixelPos> prev = previousOf(now, before, guide);
    double worstMoving = 0.0, worstStill = 0.0;
    for (int p = 0; p < pixels; ++p) {
        const int id = static_cast<int>(guideAt(guide, p, guideObject));
        const double x = p % now.width, y = p / now.width;
        double want[2] = {x, y};
        if (id == sphere || id == box) {
            // A point at depth z along the view moves by the slide over z, in plane units.
            double seen[3];
            hitOffset(now, guide, p, now.camPosition, seen);
            const double z = seen[0] * forward.x + seen[1] * forward.y + seen[2] * forward.z;
            want[0] -= across / (z * now.invWidth);
            want[1] -= down / (z * now.invWidth);
        }
        double& worst = id == sphere || id == box ? worstMoving : worstStill;
        worst = std::max({worst, std::fabs(prev[p].x - want[0]), std::fabs(prev[p].y - want[1])});
    }
    EXPECT_LT(worstMoving, 0.01);
    EXPECT_LT(worstStill, 1e-3);
}

TEST(PreviousPositions, PositionsAreInTheEarlierFramesOwnPixels) {
    // The same moment through 320 x 240 now and 640 x 480 before: each small
    // pixel's guide ray lands between the four large pixels it covers.
    const FrameData big = successiveTicks(1200, 640, 480).now;
    FrameData small = big;
    setFrameSize(small, 320, 240);
    const std::vector<PixelPos> prev = previousOf(small, big, tracedGuide(small));
    double worst = 0.0;
    for (int p = 0; p < small.width * small.height; ++p) {
        const double x = p % small.width, y = p / small.width;
        worst = std::max({worst, std::fabs(prev[p].x - (2.0 * x + 0.5)), std::fabs(prev[p].y - (2.0 * y + 0.125))});
    }
    EXPECT_LT(worst, 1e-3);
}

// Rows that are not whole vectors (157 pixels) on every vector target.
TEST(PreviousPositions, NoThreadCountOrVectorTargetChangesAPosition) {
    const TickPair ticks = successiveTicks(1200, 157, 118);
    const std::vector<float> guide = tracedGuide(ticks.now);
    const std::vector<PixelPos> one = previousOf(ticks.now, ticks.before, guide, 1);
    const auto same = [&](const std::vector<PixelPos>& other, const std::string& what) {
        EXPECT_EQ(std::memcmp(other.data(), one.data(), one.size() * sizeof(PixelPos)), 0) << what;
    };
    std::vector<PixelPos> byDefault(one.size());
    previousPositions(ticks.now, ticks.before, guide.data(), byDefault.data());
    same(byDefault, "default threads");
    for (int threads : {2, 3, 7, 119, 500}) same(previousOf(ticks.now, ticks.before, guide, threads), std::to_string(threads));
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    EXPECT_GE(targets.size(), 2u);
    for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        same(previousOf(ticks.now, ticks.before, guide, 2), hwy::TargetName(target));
    }
    hwy::SetSupportedTargetsForTest(0);
}

TEST(PreviousPositions, NoEarlierPositionForWhatTheEarlierRecordCannotPlace) {
    const FrameData now = successiveTicks(150, 16, 12).now;
    std::vector<float> guide = tracedGuide(now);
    // Values no tracer writes: a depth that is not a number or negative, ids
    // between objects, below zero, past the boxes.
    const float badDepth[] = {std::nanf(""), -1.0f, INFINITY};
    const float badId[] = {2.5f, -1.0f, float(firstBoxObjectId + maxBoxes), std::nanf("")};
    int p = 0;
    for (float d : badDepth) {
        guide[p * guideFloats + guideObject] = 1.0f;
        guide[p++ * guideFloats + guideHitDepth] = d;
    }
    for (float id : badId) {
        guide[p * guideFloats + guideHitDepth] = 10.0f;
        guide[p++ * guideFloats + guideObject] = id;
    }
    // A sphere and a box the earlier record does not hold.
    FrameData before = now;
    before.sphereCount = 2;
    before.boxCount = 0;
    guide[p * guideFloats + guideObject] = 2.0f, guide[p++ * guideFloats + guideHitDepth] = 10.0f;
    guide[p * guideFloats + guideObject] = float(firstBoxObjectId), guide[p++ * guideFloats + guideHitDepth] = 10.0f;
    const int marked = p;
    // Everything else is the scene as now, where sphere 1 (the ground) or the sky is seen.
    for (; p < now.width * now.height; ++p) {
        const float id = guideAt(guide, p, guideObject);
        if (id != float(missObjectId) && id != 1.0f) guide[p * guideFloats + guideObject] = 1.0f;
    }
    const std::vector<PixelPos> prev = previousOf(now, before, guide);
    for (int q = 0; q < now.width * now.height; ++q) {
        EXPECT_EQ(std::isnan(prev[q].x), q < marked) << "pixel " << q;
        EXPECT_EQ(std::isnan(prev[q].y), q < marked) << "pixel " << q;
    }

    // Points behind the earlier camera, the sky and objects alike.
    FrameData turned = now;
    for (int a = 0; a < 3; ++a) turned.camForward[a] = -now.camForward[a];
    const std::vector<float> clean = tracedGuide(now);
    for (const PixelPos q : previousOf(now, turned, clean)) EXPECT_TRUE(std::isnan(q.x));
}

TEST(PreviousPositions, ReadTheFrameDriversGuideLayer) {
    // The guide layer of a real frame holds, at the offsets motion reads, what
    // a ray along the direction through each whole position meets first.
    const TickPair ticks = successiveTicks(450, 160, 120);
    const std::vector<unsigned char> table = buildSamplerTable();
    FrameDriver driver;
    std::string why;
    DriverOptions options;
    options.backend = BackendChoice::Cpu;
    testing::internal::CaptureStdout();
    const bool ready = driver.setup(ticks.now, table.data(), static_cast<int>(table.size()), options, why);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ready) << why;
    ASSERT_TRUE(driver.renderFrameWithLayers(ticks.now, why)) << why;
    ASSERT_TRUE(driver.layersValid());
    const int pixels = ticks.now.width * ticks.now.height;
    const std::vector<float> layer(driver.guide(), driver.guide() + static_cast<size_t>(pixels) * guideFloats);
    const std::vector<float> traced = tracedGuide(ticks.now);
    for (int p = 0; p < pixels; ++p)
        for (int offset : {guideHitDepth, guideObject})
            ASSERT_EQ(guideAt(layer, p, offset), guideAt(traced, p, offset)) << "pixel " << p << " offset " << offset;

    const std::vector<PixelPos> still = previousOf(ticks.now, ticks.now, layer);
    double worst = 0.0;
    for (int p = 0; p < pixels; ++p)
        worst = std::max({worst, std::fabs(still[p].x - double(p % ticks.now.width)),
                          std::fabs(still[p].y - double(p / ticks.now.width))});
    EXPECT_LT(worst, 1e-3);
}
