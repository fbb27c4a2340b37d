#pragma once
#include "anim/camera.h"
#include "kernel/vec3.h"
#include "scene/world.h"

extern const char* const FigureScript;
extern const char* const CompanionScript;
extern const char* const CameraScript;

struct Choreography {
    float stepProgress = 1.0f;
    float stepRate = 0.001f;
    int figureIndex = -1;
    int companionIndex = -1;
    int figureMode = 1;
    Vec3 figurePos{500.0f, 0.0f, 0.0f};
    Vec3 companionPos{-2.0f, 0.0f, 0.0f};
    Vec3 figureStep{1.0f, 0.0f, 0.0f};
    Vec3 companionStep{1.0f, 0.0f, 0.0f};
    float figureHeading = 0.0f;
    float companionHeading = 0.0f;
};

// One tick of the compiled-in show: at most one step boundary, then posing,
// then the keyframe camera.
void stepChoreography(Choreography& ch, World& w, Camera& cam, float dtMs);
