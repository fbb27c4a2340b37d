#pragma once
// The grouped layout (sceneId groupedSceneId): the pedestal scene's objects sit
// at fixed indices, so the tracer can test two groups only when a ray enters
// their bounding volumes. The preset that builds the scene, the bounds that
// guard the groups and the queries that walk them all read these ranges; the
// asserts here and in the preset keep them one contract.
//
//   spheres 0 light, 1 ground | 2..6 pedestal | 7..10 figure | 11..13 companion,
//   14..16 glass balls;  boxes 0..1 pedestal | 2..3 figure's feet
#include "kernel/frame_data.h"
#include "kernel/host_device.h"

struct IndexRange {
    int first;
    int count;
    TPL_HD constexpr int end() const { return first + count; }  // one past the last
};

constexpr int groupedLightSphere = 0;
constexpr int groupedGroundSphere = 1;
constexpr IndexRange groupedPedestalBoxes{0, 2};
constexpr IndexRange groupedPedestalSpheres{2, 5};
constexpr IndexRange groupedFigureSpheres{7, 4};
constexpr IndexRange groupedFigureBoxes{2, 2};
// Outside every volume: the companion and the three glass balls.
constexpr IndexRange groupedLooseSpheres{11, 6};

// Bounding volume slots.
constexpr int figureBoundsSlot = 0;
constexpr int pedestalBoundsSlot = 1;

static_assert(groupedGroundSphere + 1 == groupedPedestalSpheres.first, "the pedestal follows the ground");
static_assert(groupedPedestalSpheres.end() == groupedFigureSpheres.first, "the figure follows the pedestal");
static_assert(groupedFigureSpheres.end() == groupedLooseSpheres.first, "the loose spheres follow the figure");
static_assert(groupedPedestalBoxes.end() == groupedFigureBoxes.first, "the feet follow the pedestal's boxes");
static_assert(groupedLooseSpheres.end() <= maxSpheres && groupedFigureBoxes.end() <= maxBoxes, "within the record");
static_assert(pedestalBoundsSlot < maxBoundsSlots, "within the record");
