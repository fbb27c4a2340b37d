#include "demo/game.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "demo/music.h"
#include "demo/surface.h"
#include "scene/denoise.h"
#include "scene/sampler_table.h"
#include "scene/upscale.h"

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

void Game::setRefining(bool on) {
    refining_ = on;
    refinedPasses_ = 0;
}

const uint32_t* Game::refineFrame(std::string& error) {
    FrameDriver& driver = frameDriver();
    RenderSetting pass = setting_;
    pass.width = frameWidth;
    pass.height = frameHeight;
    rendered_ = applySetting(show.world.frame, pass);
    if (!driver.renderFrameWithLayers(rendered_, error)) return nullptr;
    if (!driver.layersValid()) return driver.frameBuffer();
    const size_t values = static_cast<size_t>(frameWidth) * frameHeight * 3;
    if (refinedPasses_ == 0 || std::memcmp(&refinedMoment_, &show.world.frame, sizeof refinedMoment_) != 0) {
        refinedMoment_ = show.world.frame;
        refinedSum_.assign(values, 0.0);
        refinedPasses_ = 0;
    }
    const float* light = driver.radiance();
    for (size_t i = 0; i < values; ++i) refinedSum_[i] += light[i];
    ++refinedPasses_;
    filtered_.resize(values);
    for (size_t i = 0; i < values; ++i) filtered_[i] = static_cast<float>(refinedSum_[i] / refinedPasses_);
    // Until the passes hold as many samples as a full frame, the filter helps.
    if (refinedPasses_ * pass.samples < samplesPerFrame)
        denoiseFrame(frameWidth, frameHeight, filtered_.data(), driver.guide(), 3, filtered_.data());
    display_.resize(static_cast<size_t>(frameWidth) * frameHeight);
    toneAndScale(frameWidth, frameHeight, filtered_.data(), frameWidth, frameHeight, display_.data());
    return display_.data();
}

const uint32_t* Game::renderFrame(std::string& error) {
    FrameDriver& driver = frameDriver();
    if (refining_) return refineFrame(error);
    rendered_ = applySetting(show.world.frame, setting_);
    if (setting_.denoisePasses == 0 && setting_.width == frameWidth && setting_.height == frameHeight &&
        setting_.samples == show.world.frame.samplesPerFrame)
        return driver.renderFrame(show.world.frame, error) ? driver.frameBuffer() : nullptr;
    // A reduced frame: filtered before the tone curve, then scaled to the display.
    const FrameData& record = rendered_;
    if (!driver.renderFrameWithLayers(record, error)) return nullptr;
    const int w = record.width, h = record.height;
    display_.resize(static_cast<size_t>(frameWidth) * frameHeight);
    if (driver.layersValid()) {
        filtered_.resize(static_cast<size_t>(w) * h * 3);
        denoiseFrame(w, h, driver.radiance(), driver.guide(), setting_.denoisePasses, filtered_.data());
        toneAndScale(w, h, filtered_.data(), frameWidth, frameHeight, display_.data());
    } else {
        scalePixels(w, h, driver.frameBuffer(), frameWidth, frameHeight, display_.data());
    }
    return display_.data();
}

TickResult Game::tick(float dtMs, std::string& error) {
    advance(dtMs);
    const float t = show.demoTime;
    const auto start = std::chrono::steady_clock::now();
    const uint32_t* frame = renderFrame(error);
    pictureMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!frame) return TickResult::Failed;
    if (surface) {
        copyFrame(*surface, frame);
        if (options_.overlays) {
            OverlaySprites due{};
            for (int i = 0; i < overlayCount; ++i) due[i] = overlays[i].get();
            drawDueOverlays(*surface, t, due);
        }
    }
    if (options_.music && t > musicFadeStartSeconds) setMusicVolume(musicFadeVolume(t));
    return t > showLengthSeconds ? TickResult::ShowOver : TickResult::Running;
}

void usePreviewSetting(Game& game) {
    game.setRenderSetting(previewSetting());
    std::printf("preview: %s and scaled to %d x %d (not the exact frame)\n",
                describeSetting(previewSetting()).c_str(), frameWidth, frameHeight);
}
