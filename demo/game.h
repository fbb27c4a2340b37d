#pragma once
// The demo object: the show's state, its one-time set-up and its per-frame tick.
#include <array>
#include <memory>
#include <string>

#include "anim/show_state.h"
#include "demo/image_file.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "scene/frame_driver.h"

class Surface;

struct GameOptions {
    std::string dataDir = "data";
    bool overlays = true;  // load and draw the title images
    bool music = true;
    float musicStartSeconds = 0.0f;  // where in the track the music starts
    const char* cameraFile = "cam.txt";
    DriverOptions driver;
};

enum class TickResult { Running, ShowOver, Failed };

class Game {
public:
    Surface* surface = nullptr;  // the display surface; may stay null headless
    ShowState show;

    // The title images in load order (OverlayId), null until loaded.
    std::array<std::unique_ptr<Sprite>, overlayCount> overlays;

    explicit Game(GameOptions options = {}) : options_(std::move(options)) {}
    ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // Sampler table, camera start and cam.txt, preset 1, record start values,
    // the frame driver, music, overlays. False with error when the requested
    // backend cannot run or an overlay image cannot be loaded.
    bool init(std::string& error);
    // Everything of a tick before the render.
    void advance(float dtMs) { advanceShow(show, dtMs); }
    // A whole tick: advance, render, copy into the surface, overlays, music.
    // Failed (with error) when the frame could not be rendered.
    TickResult tick(float dtMs, std::string& error);

    const GameOptions& options() const { return options_; }

private:
    GameOptions options_;
    std::array<Image, overlayCount> images_;
    bool musicStarted_ = false;
};
