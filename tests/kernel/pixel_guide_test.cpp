// The guide layer on hand-built scenes: what the filter sees through mirror
// and glass (worked out here by following the rays), through diffuse
// surfaces, the light and the sky, and where the chain runs out of turns.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "kernel/pixel_guide.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"
#include "kernel/test_records.h"

namespace {

const Vec3 camera{0.0f, 0.0f, 0.0f};
const int centrePixel = (frameHeight / 2) * frameWidth + frameWidth / 2;
const int offAxisPixel = 200 * frameWidth + 380;  // up and to the right of the centre
const MaterialEntry white{1.0f, 1.0f, 1.0f, materialDiffuse};
const MaterialEntry wallColour{0.5f, 0.25f, 1.0f, materialDiffuse};

// The light far out of the way, so the scenes need only their own objects.
FrameData recordWithFarLight() {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 500.0f, 0.0f}, 1.0f, 0);
    fd.materials[0] = {40.0f, 40.0f, 40.0f, materialDiffuse};
    return fd;
}

Vec3 times(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

Vec3 colourOf(const MaterialEntry& m) {
    return {m.red, m.green, m.blue};
}

void expectNear(Vec3 v, Vec3 e, float tol) {
    EXPECT_NEAR(v.x, e.x, tol);
    EXPECT_NEAR(v.y, e.y, tol);
    EXPECT_NEAR(v.z, e.z, tol);
}

// Snell's law for unit d meeting a surface whose unit normal n faces it, from
// index a into index b; false where the ray is reflected whole.
bool refracted(Vec3 d, Vec3 n, float a, float b, Vec3& t) {
    const float eta = a / b, cosI = -dot(d, n);
    const float k = 1.0f - eta * eta * (1.0f - cosI * cosI);
    if (k < 0.0f) return false;
    t = eta * d + (eta * cosI - std::sqrt(k)) * n;
    return true;
}

// The next ray from a hit: leaves the surface a little along its new direction.
struct Ray {
    Vec3 o, d;
};
Ray onward(const Ray& r, const HitRecord& hit, Vec3 next) {
    return {r.o + hit.t * r.d + surfaceOffset * next, next};
}

}  // namespace

TEST(PixelGuide, MirrorShowsTheDiffuseSurfaceItReflects) {
    // A mirror ball ahead, a diffuse wall behind the camera.
    FrameData fd = recordWithFarLight();
    const MaterialEntry mirror{0.8f, 0.6f, 0.4f, materialMirror};
    fd.materials[1] = mirror, fd.materials[2] = wallColour;
    addSphere(fd, {0.0f, 0.0f, 10.0f}, 2.0f, 1);
    addBox(fd, {-500.0f, -500.0f, -20.0f}, {500.0f, 500.0f, -19.0f}, 2);
    const Vec3 tinted = times(colourOf(mirror), colourOf(wallColour));

    // Through the middle: back from the ball's front at 8 to the wall at z = -19.
    const PixelGuide centre = pixelGuide(fd, centrePixel);
    EXPECT_EQ(centre.objectId, 1);
    EXPECT_TRUE(centre.specular);
    EXPECT_NEAR(centre.hitDepth, 8.0f, 1e-2f);
    EXPECT_NEAR(centre.depth, 8.0f + 27.0f, 5e-2f);
    expectNear(centre.normal, {0.0f, 0.0f, 1.0f}, 1e-3f);
    expectNear(centre.albedo, tinted, 1e-6f);

    // Off the axis the reflection leaves at an angle: follow it here.
    const Ray primary{camera, guideDirection(fd, offAxisPixel)};
    const HitRecord first = traceNearest(fd, primary.o, primary.d);
    ASSERT_EQ(first.objectId, 1);
    const Vec3 n = first.normal;
    const Ray reflected = onward(primary, first, primary.d - 2.0f * dot(primary.d, n) * n);
    const HitRecord wall = traceNearest(fd, reflected.o, reflected.d);
    ASSERT_EQ(wall.objectId, firstBoxObjectId);
    EXPECT_GT(std::fabs(reflected.d.x), 0.2f) << "the reflection should leave at an angle";

    const PixelGuide aside = pixelGuide(fd, offAxisPixel);
    EXPECT_EQ(aside.objectId, 1);
    EXPECT_TRUE(aside.specular);
    EXPECT_FLOAT_EQ(aside.hitDepth, first.t);
    EXPECT_NEAR(aside.depth, first.t + wall.t, 1e-3f);
    expectNear(aside.normal, wall.normal, 1e-5f);
    expectNear(aside.albedo, tinted, 1e-6f);

    // The layer holds each value at its offset.
    float values[guideFloats];
    storeGuide(aside, values);
    EXPECT_EQ(values[guideObject], 1.0f);
    EXPECT_EQ(values[guideSpecular], 1.0f);
    EXPECT_EQ(values[guideHitDepth], aside.hitDepth);
    EXPECT_EQ(values[guideDepth], aside.depth);
    EXPECT_EQ(values[guideNormal + 2], aside.normal.z);
    EXPECT_EQ(values[guideAlbedo + 1], aside.albedo.y);
}

TEST(PixelGuide, GlassRefractsThroughAndReflectsWhereItCannot) {
    // A glass ball ahead, a diffuse wall beyond it.
    FrameData fd = recordWithFarLight();
    const MaterialEntry glass{0.4f, 1.0f, 0.4f, materialGlass};
    fd.materials[1] = glass, fd.materials[2] = wallColour;
    addSphere(fd, {0.0f, 0.0f, 10.0f}, 2.0f, 1);
    addBox(fd, {-500.0f, -500.0f, 30.0f}, {500.0f, 500.0f, 31.0f}, 2);
    // In and out of the glass: its tint twice.
    const Vec3 tinted = times(times(colourOf(glass), colourOf(glass)), colourOf(wallColour));

    // Through the middle: straight through the ball (8 to 12) to the wall at 30.
    const PixelGuide centre = pixelGuide(fd, centrePixel);
    EXPECT_EQ(centre.objectId, 1);
    EXPECT_TRUE(centre.specular);
    EXPECT_NEAR(centre.hitDepth, 8.0f, 1e-2f);
    EXPECT_NEAR(centre.depth, 30.0f, 5e-2f);
    expectNear(centre.normal, {0.0f, 0.0f, -1.0f}, 1e-3f);
    expectNear(centre.albedo, tinted, 1e-6f);

    // Off the axis: bent entering (index 1.5) and again leaving.
    const Ray primary{camera, guideDirection(fd, offAxisPixel)};
    const HitRecord in = traceNearest(fd, primary.o, primary.d);
    ASSERT_EQ(in.objectId, 1);
    Vec3 t1, t2;
    ASSERT_TRUE(refracted(primary.d, in.normal, 1.0f, 1.5f, t1));
    const Ray inside = onward(primary, in, t1);
    const HitRecord out = traceNearest(fd, inside.o, inside.d);
    ASSERT_EQ(out.objectId, 1);
    ASSERT_TRUE(refracted(inside.d, -out.normal, 1.5f, 1.0f, t2));
    const Ray beyond = onward(inside, out, t2);
    const HitRecord wall = traceNearest(fd, beyond.o, beyond.d);
    ASSERT_EQ(wall.objectId, firstBoxObjectId);
    EXPECT_GT(dot(t1, primary.d), 0.0f);
    EXPECT_LT(dot(t1, primary.d), 0.999f) << "the ray should bend";

    const PixelGuide aside = pixelGuide(fd, offAxisPixel);
    EXPECT_EQ(aside.objectId, 1);
    EXPECT_TRUE(aside.specular);
    EXPECT_FLOAT_EQ(aside.hitDepth, in.t);
    EXPECT_NEAR(aside.depth, in.t + out.t + wall.t, 1e-3f);
    expectNear(aside.normal, wall.normal, 1e-4f);
    expectNear(aside.albedo, tinted, 1e-6f);

    // From inside a ball centred at (8, 0, 0), radius 10, the ray along z meets
    // the glass at (0, 0, 6) with cosine 0.6 against the normal (-0.8, 0, 0.6):
    // no way out (sine 0.8 > 1 / 1.5), so it reflects, to (0.96, 0, 0.28), and
    // meets a diffuse ball of radius 1 centred 4 along that, head on, 3 on.
    FrameData room = recordWithFarLight();
    room.materials[1] = glass, room.materials[2] = wallColour;
    addSphere(room, {8.0f, 0.0f, 0.0f}, 10.0f, 1);
    addSphere(room, Vec3{0.0f, 0.0f, 6.0f} + 4.0f * Vec3{0.96f, 0.0f, 0.28f}, 1.0f, 2);
    const PixelGuide trapped = pixelGuide(room, centrePixel);
    EXPECT_EQ(trapped.objectId, 1);
    EXPECT_TRUE(trapped.specular);
    EXPECT_NEAR(trapped.hitDepth, 6.0f, 1e-2f);
    EXPECT_NEAR(trapped.depth, 9.0f, 3e-2f);
    expectNear(trapped.normal, {-0.96f, 0.0f, -0.28f}, 1e-2f);
    expectNear(trapped.albedo, times(colourOf(glass), colourOf(wallColour)), 1e-6f);
}

TEST(PixelGuide, DiffuseSurfacesTheLightAndTheSkyAreTheFirstHit) {
    FrameData fd = recordWithFarLight();
    fd.materials[2] = wallColour;
    addSphere(fd, {0.0f, 0.0f, 10.0f}, 2.0f, 2);
    PixelGuide g = pixelGuide(fd, centrePixel);
    EXPECT_EQ(g.objectId, 1);
    EXPECT_FALSE(g.specular);
    EXPECT_NEAR(g.hitDepth, 8.0f, 1e-2f);
    EXPECT_EQ(g.depth, g.hitDepth);
    expectNear(g.normal, {0.0f, 0.0f, -1.0f}, 1e-2f);  // the ray is a little off the ball's axis
    EXPECT_EQ(g.albedo.x, wallColour.red);
    EXPECT_EQ(g.albedo.y, wallColour.green);
    EXPECT_EQ(g.albedo.z, wallColour.blue);

    // A box in front: the second box's id.
    addBox(fd, {-1.0f, -1.0f, 40.0f}, {1.0f, 1.0f, 41.0f}, 2);
    addBox(fd, {-1.0f, -1.0f, 5.0f}, {1.0f, 1.0f, 6.0f}, 2);
    g = pixelGuide(fd, centrePixel);
    EXPECT_EQ(g.objectId, firstBoxObjectId + 1);
    EXPECT_NEAR(g.depth, 5.0f, 1e-2f);
    EXPECT_EQ(g.depth, g.hitDepth);

    // The light in front of it all: white, whatever its emission.
    setSphere(fd, 0, {0.0f, 0.0f, 4.0f}, 1.0f, 0);
    g = pixelGuide(fd, centrePixel);
    EXPECT_EQ(g.objectId, 0);
    EXPECT_FALSE(g.specular);
    EXPECT_NEAR(g.hitDepth, 3.0f, 1e-2f);
    expectNear(g.albedo, colourOf(white), 0.0f);

    // Nothing at all: the sky.
    g = pixelGuide(emptyRecord(), centrePixel);
    EXPECT_EQ(g.objectId, missObjectId);
    EXPECT_FALSE(g.specular);
    EXPECT_EQ(g.hitDepth, missDistance);
    EXPECT_EQ(g.depth, missDistance);
    expectNear(g.normal, {0.0f, 0.0f, 0.0f}, 0.0f);
    expectNear(g.albedo, colourOf(white), 0.0f);

    // A mirror that shows the sky: the sky through the mirror's tint, though
    // the mirror itself is near.
    FrameData open = recordWithFarLight();
    open.materials[1] = {0.8f, 0.6f, 0.4f, materialMirror};
    addSphere(open, {0.0f, 0.0f, 10.0f}, 2.0f, 1);
    g = pixelGuide(open, centrePixel);
    EXPECT_EQ(g.objectId, 1);
    EXPECT_TRUE(g.specular);
    EXPECT_NEAR(g.hitDepth, 8.0f, 1e-2f);
    EXPECT_EQ(g.depth, missDistance);
    expectNear(g.normal, {0.0f, 0.0f, 0.0f}, 0.0f);
    expectNear(g.albedo, {0.8f, 0.6f, 0.4f}, 1e-6f);
}

// Two mirror walls facing each other 10 apart, the camera between them 5 from
// each: the chain never rests. It takes as many turns as the pixel's last
// primary ray may (a budget of 3 for one ray, 6 for the 32-sample frame's
// eight, 7 for the 64-sample frame's sixteen) and stops on the wall it then
// meets, about 5 + 10 turns along, through the tint of every wall on the way.
TEST(PixelGuide, ChainBetweenMirrorsStopsAfterTheTracersTurns) {
    FrameData fd = recordWithFarLight();
    fd.materials[1] = {0.9f, 0.9f, 0.9f, materialMirror};
    addBox(fd, {-50.0f, -50.0f, 5.0f}, {50.0f, 50.0f, 6.0f}, 1);
    addBox(fd, {-50.0f, -50.0f, -6.0f}, {50.0f, 50.0f, -5.0f}, 1);
    struct Case {
        int samples, turns;
    };
    for (const Case c : {Case{4, 3}, Case{1, 3}, Case{samplesPerFrame, samplesPerFrame == 32 ? 6 : 7}}) {
        SCOPED_TRACE(std::to_string(c.samples) + " samples");
        fd.samplesPerFrame = c.samples;
        const PixelGuide g = pixelGuide(fd, centrePixel);
        EXPECT_EQ(g.objectId, firstBoxObjectId);
        EXPECT_TRUE(g.specular);
        EXPECT_NEAR(g.hitDepth, 5.0f, 1e-2f);
        EXPECT_NEAR(g.depth, 5.0f + 10.0f * static_cast<float>(c.turns), 0.1f);
        // Hits alternate: the front wall first, whose normal faces back to the camera.
        const float facing = c.turns % 2 == 0 ? -1.0f : 1.0f;
        expectNear(g.normal, {0.0f, 0.0f, facing}, 1e-3f);
        const float tint = std::pow(0.9f, static_cast<float>(c.turns + 1));
        expectNear(g.albedo, {tint, tint, tint}, 1e-5f);
    }
}
