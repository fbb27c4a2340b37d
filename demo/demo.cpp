#include "demo/demo.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "demo/scaled_image_part.h"
#include "demo/surface.h"
#include "kernel/build_setting.h"
#include "reconstruct/history_break.h"
#include "reconstruct/image_plane.h"
#include "render/denoise.h"
#include "render/sampler_table.h"
#include "render/upscale.h"

bool Demo::init(std::string& error) {
    if (options_.pictureWidth <= 0 || options_.pictureHeight <= 0 || options_.passes < 1) {
        error = "bad picture size or pass count";
        return false;
    }
    area_ = {0, 0, options_.pictureWidth, options_.pictureHeight};
    if (options_.keepAspect) area_ = letterbox(options_.pictureWidth, options_.pictureHeight, frameWidth, frameHeight);
    if (area_.width != frameWidth || area_.height != frameHeight) setting_ = {samplesPerFrame, area_.width, area_.height, 0};
    const std::vector<unsigned char> table = buildSamplerTable();
    startShow(show, options_.cameraFile);
    if (!driver_.setup(show.world.frame, table.data(), static_cast<int>(table.size()), options_.driver, error))
        return false;

    if (options_.overlays) {
        for (int i = 0; i < overlayCount; ++i)
            if (!loadImage(options_.dataDir + "/" + overlayFileNames[i], titles_[i], error)) return false;
        if (!fitOverlays(error)) return false;
    }
    return true;
}

bool Demo::setPictureSize(int width, int height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "bad picture size";
        return false;
    }
    options_.pictureWidth = width;
    options_.pictureHeight = height;
    area_ = {0, 0, width, height};
    if (options_.keepAspect) area_ = letterbox(width, height, frameWidth, frameHeight);
    // A paused picture's passes were of the other size.
    refined_.passes = 0;
    return !options_.overlays || fitOverlays(error);
}

bool Demo::fitOverlays(std::string& error) {
    if (area_.height == frameHeight) {
        for (int i = 0; i < overlayCount; ++i) overlays[i] = std::make_unique<Sprite>(&titles_[i].surface, 1);
        return true;
    }
    for (int i = 0; i < overlayCount; ++i) {
        const int width = overlaySide(titles_[i].surface.width, area_.height);
        const int height = overlaySide(titles_[i].surface.height, area_.height);
        // Only what the picture shows: on a tall narrow picture the enlarged
        // titles are far wider than the picture.
        const PixelRect part = overlayPartDrawn(static_cast<OverlayId>(i), width, height, area_.width, area_.height);
        Image scaled;
        if (!part.empty() && !scaleImagePart(titles_[i], width, height, part, scaled, error)) return false;
        images_[i] = std::move(scaled);
        overlays[i] = std::make_unique<Sprite>(&images_[i].surface, width, height, part.x, part.y);
    }
    return true;
}

void Demo::setRefining(bool on) {
    refining_ = on;
    refined_.passes = 0;
}

const uint32_t* Demo::refineFrame(std::string& error) {
    FrameDriver& driver = driver_;
    RenderSetting pass = setting_;
    const int w = area_.width, h = area_.height;
    pass.width = w;
    pass.height = h;
    rendered_ = applySetting(show.world.frame, pass);
    if (!driver.renderFrameWithLayers(rendered_, error)) return nullptr;
    if (!driver.layersValid()) return driver.frameBuffer();
    const size_t values = static_cast<size_t>(w) * h * 3;
    if (refined_.passes == 0 || std::memcmp(&refinedMoment_, &show.world.frame, sizeof refinedMoment_) != 0) {
        refinedMoment_ = show.world.frame;
        refined_.clear(values);
    }
    refined_.add(driver.radiance());
    refined_.mean(filtered_);
    // Until the passes hold as many samples as a full frame, the filter helps.
    if (refined_.passes * pass.samples < samplesPerFrame)
        denoiseFrame(w, h, filtered_.data(), driver.guide(), 3, filtered_.data());
    display_.resize(static_cast<size_t>(w) * h);
    toneAndScale(w, h, filtered_.data(), w, h, display_.data());
    return display_.data();
}

const uint32_t* Demo::averagedFrame(const FrameData& record, std::string& error) {
    FrameDriver& driver = driver_;
    const size_t values = static_cast<size_t>(record.width) * record.height * 3;
    passSum_.clear(values);
    for (int pass = 0; pass < options_.passes; ++pass) {
        if (!driver.renderFrameWithLight(record, error)) return nullptr;
        if (!driver.layersValid()) {
            error = "this renderer gives no light to average passes with";
            return nullptr;
        }
        passSum_.add(driver.radiance());
        if (onPassDone) onPassDone(pass + 1, options_.passes);
    }
    // The mean in linear light; one pass gives back its own light, and so its own pixels.
    passSum_.mean(light_);
    lightValid_ = options_.keepLight;
    display_.resize(static_cast<size_t>(record.width) * record.height);
    toneAndScale(record.width, record.height, light_.data(), record.width, record.height, display_.data());
    return display_.data();
}

bool Demo::exactSetting() const {
    // The build's samples, not the record's: before the first tick the record
    // holds none yet, and a job asks before it replays the show.
    return setting_.denoisePasses == 0 && setting_.width == area_.width && setting_.height == area_.height &&
           setting_.samples == samplesPerFrame;
}

bool Demo::reconstructs() const {
    return options_.reuse == PictureReuse::Temporal && (!exactSetting() || options_.reconstructFull);
}

int Demo::warmUpTicks(int firstTick, double frameMs) const {
    if (!reconstructs() || !(frameMs > 0.0)) return 0;
    return std::min(firstTick, static_cast<int>(std::lround(1000.0 / frameMs)));
}

const uint32_t* Demo::reconstructedFrame(std::string& error) {
    const int w = area_.width, h = area_.height;
    // The view as the display shows it; the frame is rendered a fraction of a
    // pixel off it, a different fraction every frame, so that the history
    // gathers detail finer than the render's pixels.
    const FrameData view = applySetting(show.world.frame, {setting_.samples, w, h, 0});
    const PixelPos offset = jitterOffset(driver_.passCounter());
    rendered_ = jitteredRecord(rendered_, offset.x, offset.y);
    if (!historyValid_ || historyBreaks(lastReconstructed_, rendered_)) reconstruction_.reset();
    historyValid_ = false;
    if (!driver_.renderFrameWithLayers(rendered_, error)) return nullptr;
    display_.resize(static_cast<size_t>(w) * h);
    if (!driver_.layersValid()) {
        scalePixels(rendered_.width, rendered_.height, driver_.frameBuffer(), w, h, display_.data());
        return display_.data();
    }
    const auto start = std::chrono::steady_clock::now();
    reconstruction_.addFrame(rendered_, view, driver_.radiance(), driver_.guide(), display_.data());
    reconstructMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    lastReconstructed_ = rendered_;
    historyValid_ = true;
    return display_.data();
}

const uint32_t* Demo::renderFrame(std::string& error) {
    FrameDriver& driver = driver_;
    lightValid_ = false;
    reconstructMs_ = 0.0;
    if (refining_) return refineFrame(error);
    rendered_ = applySetting(show.world.frame, setting_);
    if (reconstructs()) return reconstructedFrame(error);
    const int w = area_.width, h = area_.height;
    const bool exact = exactSetting();
    if (exact && (options_.passes > 1 || options_.keepLight)) return averagedFrame(rendered_, error);
    if (exact) return driver.renderFrame(rendered_, error) ? driver.frameBuffer() : nullptr;
    // A reduced frame: filtered before the tone curve, then scaled to the view.
    const FrameData& record = rendered_;
    if (!driver.renderFrameWithLayers(record, error)) return nullptr;
    const int rw = record.width, rh = record.height;
    display_.resize(static_cast<size_t>(w) * h);
    if (driver.layersValid()) {
        filtered_.resize(static_cast<size_t>(rw) * rh * 3);
        denoiseFrame(rw, rh, driver.radiance(), driver.guide(), setting_.denoisePasses, filtered_.data());
        toneAndScale(rw, rh, filtered_.data(), w, h, display_.data());
    } else {
        scalePixels(rw, rh, driver.frameBuffer(), w, h, display_.data());
    }
    return display_.data();
}

TickResult Demo::tick(float dtMs, std::string& error) {
    advance(dtMs);
    const float t = show.demoTime;
    const auto start = std::chrono::steady_clock::now();
    const uint32_t* frame = renderFrame(error);
    pictureMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!frame) return TickResult::Failed;
    if (surface) {
        // The view's part of the surface; bars around it are left as they are.
        Surface view(area_.width, area_.height, surface->pixels + static_cast<long>(area_.y) * surface->pitch + area_.x,
                     surface->pitch);
        copyFrame(view, frame, area_.width, area_.height);
        if (options_.overlays) {
            OverlaySprites due{};
            for (int i = 0; i < overlayCount; ++i) due[i] = overlays[i].get();
            drawDueOverlays(view, t, due);
        }
    }
    return t > showLengthSeconds ? TickResult::ShowOver : TickResult::Running;
}

void usePreviewSetting(Demo& demo) {
    const RenderSetting& preview = previewSetting(demo.options().reuse);
    demo.setRenderSetting(preview);
    std::printf("preview: %s%s and scaled to %d x %d (not the exact frame)\n", describeSetting(preview).c_str(),
                demo.reconstructs() ? ", reconstructed over frames" : "", demo.viewArea().width,
                demo.viewArea().height);
}

void useRung(Demo& demo, const RenderSetting& rung) {
    demo.setRenderSetting(rung);
    std::printf("rung %s: %s%s and scaled to %d x %d, as the live show makes it\n", rungName(rung).c_str(),
                describeSetting(rung).c_str(), demo.reconstructs() ? ", reconstructed over frames" : "",
                demo.viewArea().width, demo.viewArea().height);
}
