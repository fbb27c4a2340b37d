#pragma once
// The demo object: the show's state, its one-time set-up and its per-frame tick.
#include <string>

#include "anim/camera.h"
#include "anim/choreography.h"
#include "anim/held_keys.h"
#include "scene/frame_driver.h"
#include "scene/world.h"

class Surface;
struct Sprite;

constexpr float showLengthSeconds = 106.0f;

struct GameOptions {
    std::string dataDir = "data";
    bool overlays = true;  // load and draw the title images
    bool music = true;
    float musicStartSeconds = 0.0f;  // where in the track the music starts
    DriverOptions driver;
};

enum class TickResult { Running, ShowOver };

class Game {
public:
    Surface* surface = nullptr;  // the display surface; may stay null headless
    World world;                 // scene record and the presets' index members
    Camera camera;
    Choreography choreography;
    HeldKeys keys;  // filled by the window before each tick
    float demoTime = 0.0f;

    Sprite* logoOverlay = nullptr;
    Sprite* reOverlay = nullptr;
    Sprite* codingOverlay = nullptr;
    Sprite* realtimeOverlay = nullptr;
    Sprite* titleOverlay = nullptr;
    Sprite* quorvalingOverlay = nullptr;
    Sprite* greekOverlay = nullptr;
    Sprite* greetsOverlay = nullptr;

    explicit Game(GameOptions options = {}) : options_(std::move(options)) {}

    // Sampler table, camera start and cam.txt, preset 1, record start values,
    // the frame driver, music, overlays. False with error when the requested
    // backend cannot run.
    bool init(std::string& error);
    // Demo clock, choreography, keys, camera basis, figure bounds: everything
    // of a tick before the render.
    void advance(float dtMs);
    // A whole tick: advance, render, copy into the surface, overlays, music.
    TickResult tick(float dtMs);

    const GameOptions& options() const { return options_; }

private:
    GameOptions options_;
};
