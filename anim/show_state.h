#pragma once
// The show without its desktop: the scene, the camera, the choreography and the
// demo clock, set up and advanced exactly as the live show does. Everything a
// frame needs besides the renderer, the overlays and the music.
#include "anim/camera.h"
#include "anim/choreography.h"
#include "anim/held_keys.h"
#include "scene/world.h"

// The show ends on the first tick whose clock passes this many seconds.
constexpr float showLengthSeconds = 106.0f;

struct ShowState {
    World world;  // scene record and the presets' index members
    Camera camera;
    Choreography choreography;
    HeldKeys keys;  // filled by the window before each tick; all released headless
    float demoTime = 0.0f;
};

// Camera start and the camera file (skipped when cameraFile is null or not a
// readable regular file), preset 1 and the record's start values.
void startShow(ShowState& show, const char* cameraFile);

// One tick before the render: demo clock, choreography, keys, camera basis,
// figure bounds. dtMs is the duration of the previous tick.
void advanceShow(ShowState& show, float dtMs);
