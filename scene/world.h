#pragma once
// The host's scene state: the record the tracer reads, plus where in its arrays
// the presets put the two characters and the pedestal group.
#include "kernel/frame_data.h"
#include "kernel/vec3.h"

struct SceneSlots {
    int figureSphereStart = 0;
    int figureBoxStart = 0;
    int companionSphereStart = 0;
    int pedestalBoxStart = 0;
    int pedestalSphereStart = 0;
};

struct World {
    FrameData frame{};  // the scene record, all zero until set-up
    SceneSlots slots{};
    bool firstLook = true;  // which of the walking figure's two looks is posed
};

// The frame size and a placeholder camera, given to the record once at set-up
// after the first preset; the camera basis step rewrites the camera every tick.
void setInitialFrameValues(FrameData& fd);

// Sets the frame's size in pixels. The view keeps its vertical extent: a 4:3
// frame of any size sees what a 640 x 480 one sees, a wider one sees more at
// the sides, a narrower one less.
void setFrameSize(FrameData& fd, int width, int height);

// Writes sphere i. Radius squared is given alongside the radius so every value
// is the float nearest the written decimal.
void putSphere(FrameData& fd, int i, Vec3 centre, float radius, float radius2, int material);
// Writes box i. The corners are stored as given: a turned box need not be ordered.
void putBox(FrameData& fd, int i, Vec3 min, Vec3 max, int material);
