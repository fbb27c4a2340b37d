#pragma once
// The scene record: everything the tracer needs for one frame, 960 bytes,
// copied whole to the device constant every frame. Host and device share this
// exact layout, so it is pinned down by the asserts below.
#include <cstddef>
#include <cstdint>

constexpr int maxSpheres = 20;
constexpr int maxBoxes = 4;
constexpr int maxMaterials = 12;
constexpr int maxBoundsSlots = 4;  // slots 0 and 1 are used, 2 and 3 reserved
constexpr int frameWidth = 640;
constexpr int frameHeight = 480;

// What the choreography writes into sceneId. The tracer tells only the grouped
// layout (the pedestal scene) apart from the counted one.
constexpr int spheresSceneId = 0;
constexpr int pedestalSceneId = 1;
constexpr int roomSceneId = 2;
constexpr int groupedSceneId = pedestalSceneId;

// How a surface answers a ray; other values are mirrors too.
enum MaterialKind : int32_t { materialDiffuse = 0, materialGlass = 1, materialMirror = 2 };

struct MaterialEntry {
    float red;
    float green;
    float blue;
    int32_t kind;  // a MaterialKind
};

struct FrameData {
    int32_t width;
    int32_t height;
    float invWidth;   // a pixel's size on the image plane (see setFrameSize)
    float invHeight;  // not read: rows are placed with invWidth; kept for the fixed layout
    float camForward[3];
    float camVertical[3];  // towards increasing row numbers
    float camRight[3];
    float camPosition[3];
    int32_t samplesPerFrame;
    int32_t sphereCount;
    int32_t boxCount;
    int32_t sceneId;  // groupedSceneId selects the grouped layout in the tracer

    float sphereX[maxSpheres];
    float sphereY[maxSpheres];
    float sphereZ[maxSpheres];
    float sphereRadius[maxSpheres];
    float sphereRadius2[maxSpheres];
    int32_t sphereMaterial[maxSpheres];

    // Corners need not be ordered per axis: turned feet may have min > max.
    float boxMinX[maxBoxes];
    float boxMinY[maxBoxes];
    float boxMinZ[maxBoxes];
    float boxMaxX[maxBoxes];
    float boxMaxY[maxBoxes];
    float boxMaxZ[maxBoxes];
    int32_t boxMaterial[maxBoxes];

    MaterialEntry materials[maxMaterials];

    float boundsMinX[maxBoundsSlots];
    float boundsMinY[maxBoundsSlots];
    float boundsMinZ[maxBoundsSlots];
    float boundsMaxX[maxBoundsSlots];
    float boundsMaxY[maxBoundsSlots];
    float boundsMaxZ[maxBoundsSlots];
};

static_assert(sizeof(MaterialEntry) == 16, "material entry is four 32-bit words");
static_assert(sizeof(FrameData) == 960, "the scene record is 960 bytes");
static_assert(offsetof(FrameData, invWidth) == 8);
static_assert(offsetof(FrameData, camForward) == 16);
static_assert(offsetof(FrameData, camVertical) == 28);
static_assert(offsetof(FrameData, camRight) == 40);
static_assert(offsetof(FrameData, camPosition) == 52);
static_assert(offsetof(FrameData, samplesPerFrame) == 64);
static_assert(offsetof(FrameData, sphereCount) == 68);
static_assert(offsetof(FrameData, boxCount) == 72);
static_assert(offsetof(FrameData, sceneId) == 76);
static_assert(offsetof(FrameData, sphereX) == 80);
static_assert(offsetof(FrameData, sphereY) == 160);
static_assert(offsetof(FrameData, sphereZ) == 240);
static_assert(offsetof(FrameData, sphereRadius) == 320);
static_assert(offsetof(FrameData, sphereRadius2) == 400);
static_assert(offsetof(FrameData, sphereMaterial) == 480);
static_assert(offsetof(FrameData, boxMinX) == 560);
static_assert(offsetof(FrameData, boxMinY) == 576);
static_assert(offsetof(FrameData, boxMinZ) == 592);
static_assert(offsetof(FrameData, boxMaxX) == 608);
static_assert(offsetof(FrameData, boxMaxY) == 624);
static_assert(offsetof(FrameData, boxMaxZ) == 640);
static_assert(offsetof(FrameData, boxMaterial) == 656);
static_assert(offsetof(FrameData, materials) == 672);
static_assert(offsetof(FrameData, boundsMinX) == 864);
static_assert(offsetof(FrameData, boundsMinY) == 880);
static_assert(offsetof(FrameData, boundsMinZ) == 896);
static_assert(offsetof(FrameData, boundsMaxX) == 912);
static_assert(offsetof(FrameData, boundsMaxY) == 928);
static_assert(offsetof(FrameData, boundsMaxZ) == 944);

