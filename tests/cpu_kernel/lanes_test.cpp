// The tracer's queries, diffuse response and sine and cosine in vector lanes
// against one path, bit by bit, on every vector target this CPU runs: random
// rays and the awkward ones (inside spheres, tangent, axis-parallel with
// infinite reciprocals, through box edges and corners, starting on box
// planes, NaN and zero directions), diffuse hits of every orientation.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cpu_kernel/lane_checks.h"
#include "kernel/grouped_scene.h"
#include "kernel/intersect.h"
#include "kernel/materials.h"
#include "kernel/test_records.h"

namespace {

struct Rays {
    std::vector<float> ox, oy, oz, dx, dy, dz;
    void add(Vec3 o, Vec3 d) {
        ox.push_back(o.x), oy.push_back(o.y), oz.push_back(o.z);
        dx.push_back(d.x), dy.push_back(d.y), dz.push_back(d.z);
    }
    int size() const { return static_cast<int>(ox.size()); }
    Vec3 origin(int e) const { return {ox[e], oy[e], oz[e]}; }
    Vec3 direction(int e) const { return {dx[e], dy[e], dz[e]}; }
};

class Maker {
public:
    explicit Maker(unsigned seed) : gen_(seed) {}
    float in(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen_); }
    int below(int n) { return static_cast<int>(gen_() % static_cast<unsigned>(n)); }
    Vec3 point(float half) { return {in(-half, half), in(-half, half), in(-half, half)}; }
    Vec3 unit() {
        const Vec3 v{in(-1, 1), in(-1, 1), in(-1, 1) + 1e-3f};
        return v * (1.0f / std::sqrt(dot(v, v)));
    }

private:
    std::mt19937 gen_;
};

Vec3 boxCorner(const FrameData& fd, int j, int which) {
    return {which & 1 ? fd.boxMaxX[j] : fd.boxMinX[j], which & 2 ? fd.boxMaxY[j] : fd.boxMinY[j],
            which & 4 ? fd.boxMaxZ[j] : fd.boxMinZ[j]};
}

// Overlapping spheres and boxes, some emitters (one-sided), one sphere and one
// box given twice so equal distances must go to the first; one box with its
// corners swapped on two axes.
FrameData scene(Maker& m, bool grouped) {
    FrameData fd{};
    fd.sceneId = grouped ? groupedSceneId : spheresSceneId;
    fd.sphereCount = grouped ? groupedLooseSpheres.end() : 14;
    fd.boxCount = maxBoxes;
    for (int i = 0; i < fd.sphereCount; ++i)
        setSphere(fd, i, m.point(8.0f), m.in(0.3f, 3.0f), i == 0 || i % 5 == 3 ? 0 : 1 + m.below(5));
    setSphere(fd, 12, {fd.sphereX[9], fd.sphereY[9], fd.sphereZ[9]}, fd.sphereRadius[9], 2);
    for (int j = 0; j < maxBoxes; ++j) {
        const Vec3 a = m.point(8.0f);
        setBox(fd, j, a, a + Vec3{m.in(0.2f, 4.0f), m.in(0.2f, 4.0f), m.in(0.2f, 4.0f)}, 1 + m.below(5));
    }
    setBox(fd, 3, boxCorner(fd, 2, 0), boxCorner(fd, 2, 7), 5);
    setBox(fd, 1, boxCorner(fd, 1, 3), boxCorner(fd, 1, 4), 4);  // max x, max y first
    // The volumes cover parts of their groups only: a lane that does not enter
    // must not take the group's hits even when another lane does.
    setBounds(fd, figureBoundsSlot, m.point(6.0f), m.point(6.0f));
    setBounds(fd, pedestalBoundsSlot, {-8, -8, -8}, {8, 2, 8});
    return fd;
}

Rays nastyRays(const FrameData& fd, Maker& m) {
    Rays r;
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const int spheres = fd.sceneId == groupedSceneId ? groupedLooseSpheres.end() : fd.sphereCount;
    for (int n = 0; n < 4000; ++n) {
        const int i = m.below(spheres), j = m.below(maxBoxes);
        const Vec3 c{fd.sphereX[i], fd.sphereY[i], fd.sphereZ[i]};
        const float radius = fd.sphereRadius[i];
        const Vec3 o = m.point(14.0f), u = m.unit();
        r.add(o, m.unit());                                     // anywhere
        r.add(o, m.unit() * m.in(0.001f, 1000.0f));             // not unit length
        r.add(c + u * (radius * m.in(0.0f, 0.99f)), m.unit());  // from inside a sphere
        const Vec3 side = cross(u, m.unit());                   // tangent to a sphere
        const Vec3 t = side * (1.0f / std::sqrt(dot(side, side)));
        r.add(c + u * radius - t * m.in(0.5f, 20.0f), t);
        const int k = m.below(3);  // axis-parallel: 1/0 is infinite
        const float along = m.below(2) ? 1.0f : -1.0f, zero = m.below(2) ? 0.0f : -0.0f;
        const Vec3 axis{k == 0 ? along : zero, k == 1 ? along : zero, k == 2 ? along : zero};
        r.add(o, axis);
        const Vec3 onPlane{fd.boxMinX[j], o.y, fd.boxMaxZ[j]};  // starting on box planes: 0 * inf
        r.add(onPlane, axis);
        r.add(o, boxCorner(fd, j, m.below(8)) - o);  // through a corner
        const Vec3 edge = (boxCorner(fd, j, 0) + boxCorner(fd, j, 1)) * 0.5f;
        r.add(o, edge - o);                             // through an edge
        r.add(boxCorner(fd, j, m.below(8)), m.unit());  // from a corner
        if (n % 8 == 0) {
            r.add(o, {nan, u.y, u.z});
            r.add({o.x, nan, o.z}, u);
            r.add(o, {inf, 0.0f, -inf});
            r.add(o, {0.0f, 0.0f, 0.0f});
            r.add(c, {-0.0f, 1.0f, 0.0f});
        }
    }
    return r;
}

std::string describeRay(const Rays& r, int e) {
    char text[160];
    std::snprintf(text, sizeof text, "ray %d from (%a, %a, %a) along (%a, %a, %a)", e, r.ox[e], r.oy[e], r.oz[e],
                  r.dx[e], r.dy[e], r.dz[e]);
    return text;
}

std::string describe(const HitRecord& h, float occlusion) {
    char text[160];
    std::snprintf(text, sizeof text, "object %d material %d t %a normal (%a, %a, %a) occlusion %a", h.objectId,
                  h.material, h.t, h.normal.x, h.normal.y, h.normal.z, occlusion);
    return text;
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameHit(const HitRecord& a, const HitRecord& b) {
    return sameBits(a.t, b.t) && a.objectId == b.objectId && a.material == b.material &&
           sameBits(a.normal.x, b.normal.x) && sameBits(a.normal.y, b.normal.y) && sameBits(a.normal.z, b.normal.z);
}

// What the rays exercised, so a query that silently answered "miss" everywhere would fail.
struct Coverage {
    int sphereHits = 0, boxHits = 0, misses = 0, blocked = 0, clear = 0;
};

// Compares both queries on one target; returns the number of rays that differ.
int compareQueries(const LaneChecks& lanes, const FrameData& fd, const Rays& r, Coverage& seen, std::string& first) {
    const int n = r.size();
    std::vector<HitRecord> hits(n);
    std::vector<float> occlusion(n);
    const float* const rays[6] = {r.ox.data(), r.oy.data(), r.oz.data(), r.dx.data(), r.dy.data(), r.dz.data()};
    lanes.queries(fd, rays, n, hits.data(), occlusion.data());
    int differing = 0;
    for (int e = 0; e < n; ++e) {
        const HitRecord want = traceNearest(fd, r.origin(e), r.direction(e));
        const float wantOcclusion = occlusionDistance(fd, r.origin(e), r.direction(e));
        const bool same = sameHit(hits[e], want) && sameBits(occlusion[e], wantOcclusion);
        if (!same && differing++ == 0)
            first = describeRay(r, e) + ": " + describe(hits[e], occlusion[e]) + ", one ray " +
                    describe(want, wantOcclusion);
        seen.sphereHits += want.objectId < firstBoxObjectId;
        seen.boxHits += want.objectId >= firstBoxObjectId && want.objectId != missObjectId;
        seen.misses += want.objectId == missObjectId;
        seen.blocked += wantOcclusion < missDistance;
        seen.clear += !(wantOcclusion < missDistance);
    }
    return differing;
}

bool sameVec(Vec3 a, Vec3 b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

bool sameOutcome(const DiffuseOutcome& a, const DiffuseOutcome& b) {
    const DiffuseResponse<float>&x = a.response, &y = b.response;
    return std::memcmp(&a.rng, &b.rng, sizeof a.rng) == 0 && sameVec(x.throughput, y.throughput) && x.lit == y.lit &&
           sameVec(x.shadow.o, y.shadow.o) && sameVec(x.shadow.d, y.shadow.d) &&
           sameVec(x.shadow.invD, y.shadow.invD) && sameBits(x.lightDistance, y.lightDistance) &&
           sameVec(x.light, y.light) && sameVec(x.next, y.next);
}

// Diffuse hits with random generator words and strata, normals of every
// orientation (near the |n.x| = 0.1 switch, along the axes, not unit length).
std::vector<DiffuseCase> diffuseCases(Maker& m) {
    std::vector<DiffuseCase> cases;
    const int secondStrata = static_cast<int>(1.0f / secondStratumWidth);
    for (int n = 0; n < 20000; ++n) {
        DiffuseCase c;
        c.p = m.point(10.0f);
        switch (n % 5) {
            case 0:
                c.normal = m.unit();
                break;
            case 1: {
                const float x = (m.below(2) ? 0.1f : -0.1f) * m.in(0.999f, 1.001f);
                const float rest = std::sqrt(1.0f - x * x) * 0.70710678f;
                c.normal = {x, rest, m.below(2) ? rest : -rest};
                break;
            }
            case 2: {
                const int k = m.below(3);
                const float s = m.below(2) ? 1.0f : -1.0f;
                c.normal = {k == 0 ? s : 0.0f, k == 1 ? s : 0.0f, k == 2 ? s : 0.0f};
                break;
            }
            case 3:
                c.normal = m.unit() * m.in(0.5f, 2.0f);
                break;
            default:
                c.normal = m.unit();
                c.p = c.normal * 1.0e-3f;
        }
        c.throughput = {m.in(0.0f, 2.0f), m.in(0.0f, 2.0f), m.in(0.0f, 2.0f)};
        c.rng = {static_cast<uint32_t>(m.below(1 << 30)) * 4u + 3u, static_cast<uint32_t>(m.below(1 << 16)),
                 static_cast<uint32_t>(m.below(1 << 30)) * 3u, static_cast<uint32_t>(m.below(1 << 30)) * 4u + 1u};
        c.byte0 = m.below(8) | (m.below(secondStrata) << 3);
        c.byte1 = m.below(8) | (m.below(secondStrata) << 3);
        cases.push_back(c);
    }
    return cases;
}

// Runs check for every vector target this CPU runs; fails when there is none
// although the build has the vector kernel for this machine's own target.
template <class Check>
void onEveryTarget(Check check) {
    int ran = 0;
    for (const LaneChecks* lanes : {&laneChecksAvx3, &laneChecksAvx2, &laneChecksSse4}) {
        if ((hwy::SupportedTargets() & lanes->target) == 0) continue;
        SCOPED_TRACE(std::string("target ") + hwy::TargetName(lanes->target));
        check(*lanes);
        ++ran;
    }
    EXPECT_GT(ran, 0) << "no vector target runs on this CPU";
}

}  // namespace

TEST(Lanes, QueriesAnswerAsOneRayOnEveryTarget) {
    for (bool grouped : {false, true}) {
        SCOPED_TRACE(grouped ? "grouped layout" : "counted layout");
        Maker m(grouped ? 97u : 13u);
        const FrameData fd = scene(m, grouped);
        const Rays rays = nastyRays(fd, m);
        onEveryTarget([&](const LaneChecks& lanes) {
            Coverage seen;
            std::string first;
            EXPECT_EQ(compareQueries(lanes, fd, rays, seen, first), 0) << "first: " << first;
            EXPECT_GT(seen.sphereHits, rays.size() / 10);
            EXPECT_GT(seen.boxHits, rays.size() / 50);
            EXPECT_GT(seen.misses, rays.size() / 50);
            EXPECT_GT(seen.blocked, rays.size() / 10);
            EXPECT_GT(seen.clear, rays.size() / 50);
        });
    }
}

TEST(Lanes, DiffuseHitsShadeAsOnePathOnEveryTarget) {
    Maker m(31u);
    const FrameData fd = scene(m, false);
    const std::vector<DiffuseCase> cases = diffuseCases(m);
    onEveryTarget([&](const LaneChecks& lanes) {
        std::vector<DiffuseOutcome> got(cases.size());
        lanes.diffuse(fd, cases.data(), static_cast<int>(cases.size()), got.data());
        int differing = 0, lit = 0;
        for (size_t e = 0; e < cases.size(); ++e) {
            const DiffuseCase& c = cases[e];
            DiffuseOutcome want;
            want.rng = c.rng;
            want.response = shadeDiffuse(fd, c.p, c.normal, c.throughput, want.rng, c.byte0, c.byte1);
            lit += want.response.lit;
            if (!sameOutcome(got[e], want) && differing++ == 0)
                ADD_FAILURE() << "case " << e << ": next direction (" << got[e].response.next.x << ", "
                              << got[e].response.next.y << ", " << got[e].response.next.z << ") vs ("
                              << want.response.next.x << ", " << want.response.next.y << ", " << want.response.next.z
                              << ")";
        }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(lit, static_cast<int>(cases.size()) / 10);
        EXPECT_LT(lit, static_cast<int>(cases.size()) * 9 / 10);
    });
}

TEST(Lanes, CosineAndSineAreTheLibrarysOwnBits) {
    // Every 61st float from 2^-12 to 10 (past both ends of the range the
    // lanes vouch for), the angles a diffuse hit can draw, and values no angle should be.
    std::vector<float> x;
    for (float v = 0x1p-12f; v < 10.0f; v = std::nextafter(v, 11.0f)) {
        x.push_back(v);
        for (int skip = 0; skip < 60; ++skip) v = std::nextafter(v, 11.0f);
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {0.0f, -0.0f, 0x1p-10f, std::nextafter(0x1p-10f, 0.0f), 8.0f, std::nextafter(8.0f, 9.0f), -1.0f, inf,
                    -inf, std::numeric_limits<float>::quiet_NaN(), twoPi * std::nextafter(1.0f, 0.0f)})
        x.push_back(v);
    onEveryTarget([&](const LaneChecks& lanes) {
        const int n = static_cast<int>(x.size());
        std::vector<float> cosine(n), sine(n);
        lanes.cosSin(x.data(), n, cosine.data(), sine.data());
        int differing = 0;
        for (int e = 0; e < n; ++e) {
            const float c = tracerCos(x[e]), s = tracerSin(x[e]);
            if ((!sameBits(cosine[e], c) || !sameBits(sine[e], s)) && differing++ == 0)
                ADD_FAILURE() << "angle " << x[e] << ": cos " << cosine[e] << " vs " << c << ", sin " << sine[e]
                              << " vs " << s;
        }
        EXPECT_EQ(differing, 0);
    });
}
