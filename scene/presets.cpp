#include "scene/presets.h"

#include "kernel/grouped_scene.h"
#include "scene/bounds.h"
#include "scene/figures.h"

namespace {

struct SphereSpec {
    Vec3 centre;
    float radius, radius2;
    int material;
};
struct BoxSpec {
    Vec3 min, max;
    int material;
};

void putSphere(FrameData& fd, int i, const SphereSpec& s) {
    putSphere(fd, i, s.centre, s.radius, s.radius2, s.material);
}

void appendSphere(FrameData& fd, const SphereSpec& s) {
    putSphere(fd, fd.sphereCount++, s.centre, s.radius, s.radius2, s.material);
}

void appendBox(FrameData& fd, const BoxSpec& b) {
    putBox(fd, fd.boxCount++, b.min, b.max, b.material);
}

void putMaterial(FrameData& fd, int m, float red, float green, float blue, MaterialKind kind) {
    fd.materials[m] = MaterialEntry{red, green, blue, kind};
}

constexpr SphereSpec ground{{0.0f, -10000.0f, 0.0f}, 10000.0f, 100000000.0f, 1};

// The pedestal scene, in the order the grouped layout expects its objects.
constexpr SphereSpec pedestalLight{{0.0f, 17.0f, 0.0f}, 0.5f, 0.25f, 0};
constexpr BoxSpec pedestalBoxes[] = {
    {{-6.0f, -1.0f, -6.0f}, {6.0f, 9.0f, 6.0f}, 4},
    {{-6.5f, 9.0f, -6.5f}, {6.5f, 9.7f, 6.5f}, 5},
};
constexpr SphereSpec pedestalSpheres[] = {
    {{0.0f, 9.7f, 0.0f}, 6.0f, 36.0f, 5},   {{-3.0f, 4.2f, 0.0f}, 4.5f, 20.25f, 6}, {{3.0f, 4.2f, 0.0f}, 4.5f, 20.25f, 6},
    {{0.0f, 4.2f, 3.0f}, 4.5f, 20.25f, 6},  {{0.0f, 4.2f, -3.0f}, 4.5f, 20.25f, 6},
};
constexpr SphereSpec figureSpheres[] = {
    {{10.0f, 4.0f, 10.0f}, 3.0f, 9.0f, 7},
    {{11.3f, 4.0f, 10.0f}, 2.0f, 4.0f, 8},
    {{12.5f, 4.0f, 10.0f}, 1.0f, 1.0f, 9},
    {{11.0f, 6.0f, 11.0f}, 1.0f, 1.0f, 7},
};
constexpr BoxSpec figureFeet[] = {
    {{8.5f, 0.0f, 11.0f}, {11.5f, 1.0f, 13.0f}, 7},
    {{8.5f, 0.0f, 7.0f}, {11.5f, 1.0f, 9.0f}, 7},
};
constexpr SphereSpec companionSpheres[] = {
    {{5.0f, 3.0f, 7.0f}, 2.0f, 4.0f, 2},
    {{5.4f, 3.0f, 7.0f}, 1.7f, 2.89f, 8},
    {{6.0f, 3.0f, 7.0f}, 1.2f, 1.44f, 9},
};
constexpr SphereSpec glassBalls[] = {
    {{20.0f, 4.0f, 20.0f}, 4.0f, 16.0f, 3},
    {{28.0f, 6.0f, 28.0f}, 6.0f, 36.0f, 10},
    {{25.0f, 3.0f, 15.0f}, 3.0f, 9.0f, 11},
};

// The tracer's grouped queries and the bounds walk these ranges: the scene is
// appended in exactly this order.
template <typename T, int N>
constexpr int count(const T (&)[N]) {
    return N;
}
static_assert(groupedLightSphere == 0 && groupedGroundSphere == 1);
static_assert(groupedPedestalBoxes.first == 0 && groupedPedestalBoxes.count == count(pedestalBoxes));
static_assert(groupedPedestalSpheres.first == 2 && groupedPedestalSpheres.count == count(pedestalSpheres));
static_assert(groupedFigureSpheres.first == groupedPedestalSpheres.end() &&
              groupedFigureSpheres.count == count(figureSpheres) && count(figureSpheres) == figureSphereCount);
static_assert(groupedFigureBoxes.first == groupedPedestalBoxes.end() && groupedFigureBoxes.count == count(figureFeet) &&
              count(figureFeet) == figureBoxCount);
static_assert(count(companionSpheres) == companionSphereCount);
static_assert(groupedLooseSpheres.first == groupedFigureSpheres.end() &&
              groupedLooseSpheres.count == count(companionSpheres) + count(glassBalls));

}  // namespace

void buildSpheresScene(World& w) {
    FrameData& fd = w.frame;
    putMaterial(fd, 0, 10.0f, 10.0f, 10.0f, materialDiffuse);
    putMaterial(fd, 1, 0.8f, 0.8f, 0.3f, materialDiffuse);
    putMaterial(fd, 2, 1.0f, 0.0f, 0.0f, materialDiffuse);
    putMaterial(fd, 3, 0.0f, 0.0f, 1.0f, materialDiffuse);
    putMaterial(fd, 4, 1.0f, 1.0f, 1.0f, materialDiffuse);

    putSphere(fd, 0, {0.0f, 5.0f, 0.0f}, 5.0f, 25.0f, 0);
    putSphere(fd, groupedGroundSphere, ground);
    putSphere(fd, 2, {-10.0f, 5.0f, 0.0f}, 5.0f, 25.0f, 2);
    putSphere(fd, 3, {10.0f, 5.0f, 0.0f}, 5.0f, 25.0f, 3);
    putBox(fd, 0, {-50.0f, -1.0f, -20.0f}, {50.0f, 40.0f, -19.0f}, 4);
    fd.sphereCount = 4;
    fd.boxCount = 1;
}

void buildPedestalScene(World& w) {
    FrameData& fd = w.frame;
    SceneSlots& slots = w.slots;
    putMaterial(fd, 0, 50.0f, 50.0f, 100.0f, materialDiffuse);
    putMaterial(fd, 1, 0.8f, 0.8f, 0.3f, materialDiffuse);
    putMaterial(fd, 2, 0.8f, 0.8f, 0.4f, materialDiffuse);
    putMaterial(fd, 3, 0.4f, 1.0f, 0.4f, materialGlass);
    putMaterial(fd, 4, 1.0f, 1.0f, 1.0f, materialDiffuse);
    putMaterial(fd, 5, 0.7f, 0.1f, 0.1f, materialDiffuse);
    putMaterial(fd, 6, 0.8f, 0.8f, 0.7f, materialMirror);
    putMaterial(fd, 7, 0.2f, 0.2f, 0.5f, materialDiffuse);
    putMaterial(fd, 8, 1.0f, 1.0f, 1.0f, materialDiffuse);
    putMaterial(fd, 9, 0.0f, 0.0f, 0.0f, materialDiffuse);
    putMaterial(fd, 10, 1.0f, 0.4f, 0.4f, materialGlass);
    putMaterial(fd, 11, 0.4f, 0.4f, 1.0f, materialGlass);

    fd.sphereCount = 0;
    fd.boxCount = 0;
    appendSphere(fd, pedestalLight);
    appendSphere(fd, ground);

    slots.pedestalBoxStart = fd.boxCount;
    slots.pedestalSphereStart = fd.sphereCount;
    for (const BoxSpec& b : pedestalBoxes) appendBox(fd, b);
    for (const SphereSpec& s : pedestalSpheres) appendSphere(fd, s);

    slots.figureSphereStart = fd.sphereCount;
    slots.figureBoxStart = fd.boxCount;
    for (const SphereSpec& s : figureSpheres) appendSphere(fd, s);
    for (const BoxSpec& b : figureFeet) appendBox(fd, b);

    slots.companionSphereStart = fd.sphereCount;
    for (const SphereSpec& s : companionSpheres) appendSphere(fd, s);
    for (const SphereSpec& s : glassBalls) appendSphere(fd, s);

    updateFigureBounds(w);
    updatePedestalBounds(w);
}

void buildRoomScene(World& w) {
    FrameData& fd = w.frame;
    SceneSlots& slots = w.slots;
    putMaterial(fd, 0, 40.0f, 40.0f, 30.0f, materialDiffuse);
    putMaterial(fd, 1, 1.0f, 1.0f, 1.0f, materialDiffuse);
    putMaterial(fd, 2, 1.0f, 0.0f, 0.0f, materialDiffuse);
    putMaterial(fd, 3, 0.0f, 0.0f, 1.0f, materialDiffuse);
    putMaterial(fd, 4, 1.0f, 1.0f, 1.0f, materialMirror);
    putMaterial(fd, 7, 0.2f, 0.2f, 0.5f, materialDiffuse);
    putMaterial(fd, 8, 1.0f, 1.0f, 1.0f, materialDiffuse);
    putMaterial(fd, 9, 0.0f, 0.0f, 0.0f, materialDiffuse);

    putSphere(fd, 0, {0.0f, 37.0f, 0.0f}, 2.0f, 4.0f, 0);
    putSphere(fd, groupedGroundSphere, ground);
    putSphere(fd, 2, {0.0f, 10040.0f, 0.0f}, 10000.0f, 100000000.0f, 1);
    putSphere(fd, 3, {0.0f, 0.0f, -10020.0f}, 10000.0f, 100000000.0f, 1);
    putSphere(fd, 4, {-10020.0f, 0.0f, 0.0f}, 10000.0f, 100000000.0f, 2);
    putSphere(fd, 5, {10020.0f, 0.0f, 0.0f}, 10000.0f, 100000000.0f, 3);
    putSphere(fd, 6, {12.0f, 6.0f, -10.0f}, 6.0f, 36.0f, 4);
    fd.sphereCount = 7;
    fd.boxCount = 0;

    slots.figureSphereStart = fd.sphereCount;
    slots.figureBoxStart = fd.boxCount;
    appendSphere(fd, {{0.0f, 4.0f, 0.0f}, 3.0f, 9.0f, 7});
    appendSphere(fd, {{1.3f, 4.0f, 0.0f}, 2.0f, 4.0f, 8});
    appendSphere(fd, {{2.5f, 4.0f, 0.0f}, 1.0f, 1.0f, 9});
    appendSphere(fd, {{1.0f, 6.0f, 1.0f}, 1.0f, 1.0f, 7});
    appendBox(fd, {{-1.5f, 0.0f, 1.0f}, {1.5f, 1.0f, 3.0f}, 7});
    appendBox(fd, {{-1.5f, 0.0f, -3.0f}, {1.5f, 1.0f, -1.0f}, 7});

    slots.companionSphereStart = fd.sphereCount;
    appendSphere(fd, {{5.0f, 3.0f, 7.0f}, 2.0f, 4.0f, 7});
    appendSphere(fd, {{5.4f, 3.0f, 7.0f}, 1.7f, 2.89f, 8});
    appendSphere(fd, {{6.0f, 3.0f, 7.0f}, 1.2f, 1.44f, 9});
}
