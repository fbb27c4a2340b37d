#include "demo/game.h"

#include <cstdio>

#include "app/surface.h"
#include "demo/music.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "scene/bounds.h"
#include "scene/build_setting.h"
#include "scene/presets.h"
#include "scene/sampler_table.h"

namespace {

// The overlay members in load order, matching OverlayId.
Sprite* Game::*const overlayMembers[overlayCount] = {
    &Game::logoOverlay,  &Game::reOverlay,         &Game::codingOverlay, &Game::realtimeOverlay,
    &Game::titleOverlay, &Game::quorvalingOverlay, &Game::greekOverlay,  &Game::greetsOverlay,
};

}  // namespace

bool Game::init(std::string& error) {
    const std::vector<unsigned char> table = buildSamplerTable();

    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) camera.flightAxes[r][c] = r == c ? 1.0f : 0.0f;
    camera.cameraPos = Vec3{0.0f, 50.0f, -300.0f};
    loadCameraFile(camera, "cam.txt");

    buildSceneY(world);
    setInitialFrameValues(world.frame);
    if (!frameDriver().setup(world.frame, table.data(), static_cast<int>(table.size()), options_.driver, error))
        return false;

    if (options_.music) {
        std::string why;
        if (!startMusic(options_.dataDir + "/track.mp3", options_.musicStartSeconds, why))
            std::printf("music off: %s\n", why.c_str());
    }

    if (options_.overlays) {
        for (int i = 0; i < overlayCount; ++i) {
            const std::string path = options_.dataDir + "/" + overlayFileNames[i];
            this->*overlayMembers[i] = new Sprite(new Surface(path.c_str()), 1);
        }
    }
    return true;
}

void Game::advance(float dtMs) {
    demoTime += dtMs * 0.001f;
    stepChoreography(choreography, world, camera, dtMs);
    handleFlightKeys(camera, keys, dtMs);
    updateCameraBasis(camera, world.frame, samplesPerFrame);
    if (world.frame.sceneId == 1) updateFigureBounds(world);
}

TickResult Game::tick(float dtMs) {
    advance(dtMs);
    const float t = demoTime;
    gpuRenderFrame(world.frame);
    if (surface) {
        copyFrame(*surface, frameBuffer());
        if (options_.overlays) {
            Sprite* sprites[overlayCount];
            for (int i = 0; i < overlayCount; ++i) sprites[i] = this->*overlayMembers[i];
            drawDueOverlays(*surface, t, sprites);
        }
    }
    if (options_.music && t > musicFadeStartSeconds) setMusicVolume(musicFadeVolume(t));
    return t > showLengthSeconds ? TickResult::ShowOver : TickResult::Running;
}
