#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "kernel/pixel_guide.h"
#include "reconstruct/image_plane.h"
#include "show_records.h"

namespace {

// A show record at 13 s, at the given frame size.
FrameData showRecord(int width, int height) {
    return successiveTicks(390, width, height).now;
}

struct Size {
    int width, height;
};
// 4:3 at two sizes, wider, narrower and tiny.
const Size sizes[] = {{640, 480}, {320, 240}, {854, 480}, {480, 640}, {7, 5}};

// Positions over the frame and beyond its edges, whole and not.
std::vector<PixelPos> probePositions(const FrameData& fd) {
    std::vector<PixelPos> out;
    for (float fx : {-20.0f, 0.0f, 0.37f, 0.5f, 0.999f, 0.5f * fd.width, fd.width - 1.0f, fd.width + 12.25f})
        for (float fy : {-9.5f, 0.0f, 0.125f, 0.73f, 0.5f * fd.height, fd.height - 1.0f, fd.height + 3.5f})
            out.push_back({fx, fy});
    return out;
}

double crossSine(Vec3 a, Vec3 b) {
    const Vec3 c = cross(a, b);
    return std::sqrt(double(dot(c, c)) / (double(dot(a, a)) * dot(b, b)));
}

}  // namespace

TEST(ImagePlane, PositionOfInvertsDirectionThroughForEveryFrameShape) {
    for (const Size s : sizes) {
        const FrameData fd = showRecord(s.width, s.height);
        for (const PixelPos p : probePositions(fd)) {
            const PixelPos back = positionOf(fd, directionThrough(fd, p));
            EXPECT_NEAR(back.x, p.x, 1e-3) << s.width << "x" << s.height;
            EXPECT_NEAR(back.y, p.y, 1e-3) << s.width << "x" << s.height;
        }
    }
}

TEST(ImagePlane, AnAxisSetThatIsNotOrthogonalIsSolvedExactly) {
    // Forward leaning far towards the right and down: reading positions off
    // with dot products would be pixels off.
    FrameData fd = showRecord(320, 240);
    for (int a = 0; a < 3; ++a) fd.camForward[a] += 0.3f * fd.camRight[a] - 0.2f * fd.camVertical[a];
    for (const PixelPos p : probePositions(fd)) {
        const PixelPos back = positionOf(fd, directionThrough(fd, p));
        EXPECT_NEAR(back.x, p.x, 1e-3);
        EXPECT_NEAR(back.y, p.y, 1e-3);
    }
}

TEST(ImagePlane, DirectionsBehindTheCameraOrAlongThePlaneHaveNoPosition) {
    const FrameData fd = showRecord(320, 240);
    const Vec3 centre = directionThrough(fd, {160.0f, 120.0f});
    const Vec3 right{fd.camRight[0], fd.camRight[1], fd.camRight[2]};
    for (const Vec3 d : {-centre, right, Vec3{0.0f, 0.0f, 0.0f}}) {
        const PixelPos p = positionOf(fd, d);
        EXPECT_TRUE(std::isnan(p.x));
        EXPECT_TRUE(std::isnan(p.y));
    }
    // Far off to the side, yet in front: a position, however far out.
    const PixelPos wide = positionOf(fd, centre + right * 3.0f);
    EXPECT_NEAR(wide.x, 160.0f + 3.0f / fd.invWidth, 0.05f);
}

TEST(ImagePlane, FramesOfOtherSizesPlaceTheSameDirectionsAsTheyShowThem) {
    // One view: a 320 x 240 pixel covers 2 x 2 of 640 x 480 ones, and the
    // guide ray sits half a pixel across and an eighth down in each.
    const FrameData big = showRecord(640, 480), small = showRecord(320, 240), wide = showRecord(854, 480);
    for (float x : {0.0f, 17.0f, 319.0f})
        for (float y : {0.0f, 101.0f, 239.0f}) {
            const PixelPos p = positionOf(big, directionThrough(small, {x, y}));
            EXPECT_NEAR(p.x, 2.0f * x + 0.5f, 1e-3);
            EXPECT_NEAR(p.y, 2.0f * y + 0.125f, 1e-3);
            // The same height of the scene, 107 more columns on either side.
            const PixelPos q = positionOf(wide, directionThrough(big, {x, y}));
            EXPECT_NEAR(q.x, x + 107.0f, 1e-3);
            EXPECT_NEAR(q.y, y, 1e-3);
        }
}

TEST(Jitter, AJitteredRecordLooksThroughTheShiftedPositions) {
    const FrameData fd = showRecord(320, 240);
    for (int n = 0; n < haltonPeriod; ++n) {
        const PixelPos j = jitterOffset(n);
        const FrameData jittered = jitteredRecord(fd, j.x, j.y);
        // Only the forward axis moves.
        EXPECT_EQ(std::memcmp(jittered.camVertical, fd.camVertical,
                              sizeof(FrameData) - offsetof(FrameData, camVertical)),
                  0);
        EXPECT_EQ(std::memcmp(&jittered, &fd, offsetof(FrameData, camForward)), 0);
        for (const PixelPos p : probePositions(fd)) {
            const Vec3 shifted = directionThrough(fd, {p.x + j.x, p.y + j.y});
            EXPECT_LT(crossSine(directionThrough(jittered, p), shifted), 2e-6);
            const PixelPos back = positionOf(jittered, shifted);
            EXPECT_NEAR(back.x, p.x, 1e-3);
            EXPECT_NEAR(back.y, p.y, 1e-3);
        }
    }
}

TEST(Jitter, HaltonTwoThreeFromIndexOneCentredOnThePixel) {
    const std::pair<double, double> want[] = {{1.0 / 2, 1.0 / 3}, {1.0 / 4, 2.0 / 3}, {3.0 / 4, 1.0 / 9},
                                              {1.0 / 8, 4.0 / 9}, {5.0 / 8, 7.0 / 9}, {3.0 / 8, 2.0 / 9}};
    for (int n = 0; n < 6; ++n) {
        EXPECT_NEAR(jitterOffset(n).x, want[n].first - 0.5, 1e-7) << n;
        EXPECT_NEAR(jitterOffset(n).y, want[n].second - 0.5, 1e-7) << n;
    }
    std::set<std::pair<float, float>> seen;
    for (int n = 0; n < haltonPeriod; ++n) {
        const PixelPos j = jitterOffset(n);
        EXPECT_TRUE(j.x >= -0.5f && j.x < 0.5f && j.y >= -0.5f && j.y < 0.5f) << n;
        seen.insert({j.x, j.y});
        // The period, for frame numbers past it and below zero alike.
        for (int m : {n + haltonPeriod, n + 7 * haltonPeriod, n - haltonPeriod, n - 3 * haltonPeriod}) {
            EXPECT_EQ(jitterOffset(m).x, j.x) << m;
            EXPECT_EQ(jitterOffset(m).y, j.y) << m;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(haltonPeriod));
}

TEST(ImagePlane, WholePositionsAreThePixelsGuideRaysBitForBit) {
    for (const Size s : sizes) {
        FrameData fd = showRecord(s.width, s.height);
        for (int round = 0; round < 2; ++round) {
            for (int p = 0; p < fd.width * fd.height; ++p) {
                Vec3 d = directionThrough(fd, {static_cast<float>(p % fd.width), static_cast<float>(p / fd.width)});
                d = d * tracerRsqrt(dot(d, d));
                const Vec3 guide = guideDirection(fd, p);
                ASSERT_TRUE(d.x == guide.x && d.y == guide.y && d.z == guide.z)
                    << s.width << "x" << s.height << " pixel " << p << (round ? " jittered" : "");
            }
            fd = jitteredRecord(fd, 0.3f, -0.4f);
        }
    }
}
