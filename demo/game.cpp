#include "demo/game.h"

#include <cstdio>

#include "demo/music.h"
#include "demo/surface.h"
#include "scene/sampler_table.h"

Game::~Game() {
    if (musicStarted_) stopMusic();
}

bool Game::init(std::string& error) {
    const std::vector<unsigned char> table = buildSamplerTable();
    startShow(show, options_.cameraFile);
    if (!frameDriver().setup(show.world.frame, table.data(), static_cast<int>(table.size()), options_.driver, error))
        return false;

    if (options_.music) {
        std::string why;
        musicStarted_ = startMusic(options_.dataDir + "/track.mp3", options_.musicStartSeconds, why);
        if (!musicStarted_) std::printf("music off: %s\n", why.c_str());
    }

    if (options_.overlays) {
        for (int i = 0; i < overlayCount; ++i) {
            if (!loadImage(options_.dataDir + "/" + overlayFileNames[i], images_[i], error)) return false;
            overlays[i] = std::make_unique<Sprite>(&images_[i].surface, 1);
        }
    }
    return true;
}

TickResult Game::tick(float dtMs, std::string& error) {
    advance(dtMs);
    const float t = show.demoTime;
    if (!frameDriver().renderFrame(show.world.frame, error)) return TickResult::Failed;
    if (surface) {
        copyFrame(*surface, frameDriver().frameBuffer());
        if (options_.overlays) {
            OverlaySprites due{};
            for (int i = 0; i < overlayCount; ++i) due[i] = overlays[i].get();
            drawDueOverlays(*surface, t, due);
        }
    }
    if (options_.music && t > musicFadeStartSeconds) setMusicVolume(musicFadeVolume(t));
    return t > showLengthSeconds ? TickResult::ShowOver : TickResult::Running;
}
