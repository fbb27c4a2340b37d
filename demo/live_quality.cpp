#include "demo/live_quality.h"

#include <algorithm>

#include "kernel/build_setting.h"
#include "scene/world.h"

namespace {

// Filter passes for a reduced frame: fewer where more samples make it less noisy.
int filterPasses(int samples) {
    return samples >= 16 ? 2 : samples >= 8 ? 3 : 4;
}

std::vector<RenderSetting> temporalRungs() {
    std::vector<RenderSetting> list{{samplesPerFrame, frameWidth, frameHeight, 0}};
    // Samples at the full size by steps of 3/4 and 2/3 (32, 24, 16, 12) down to 8...
    for (int samples = samplesPerFrame; samples > 8;) {
        samples = (samples & (samples - 1)) == 0 ? samples * 3 / 4 : samples * 2 / 3;
        list.push_back({samples, frameWidth, frameHeight, filterPasses(samples)});
    }
    // ...then every halving of the samples has a step of 0.72 of the pixels
    // between, and below one sample only the pixels shrink, all 4:3.
    for (const int samples : {8, 4, 2}) {
        if (samples != 8) list.push_back({samples, frameWidth, frameHeight, filterPasses(samples)});
        list.push_back({samples, 544, 408, filterPasses(samples)});
    }
    for (const int width : {640, 544, 448, 384, 320, 272, 224}) list.push_back({1, width, width * 3 / 4, 4});
    return list;
}

std::vector<RenderSetting> perFrameRungs() {
    std::vector<RenderSetting> list{{samplesPerFrame, frameWidth, frameHeight, 0}};
    // Halve the samples down to one primary ray's four sub-paths...
    for (int samples = samplesPerFrame / 2; samples >= 4; samples /= 2)
        list.push_back({samples, frameWidth, frameHeight, filterPasses(samples)});
    // ...then halve the pixels, keeping 4:3.
    for (const int width : {448, 320, 224, 160}) list.push_back({4, width, width * 3 / 4, 4});
    return list;
}

}  // namespace

const std::vector<RenderSetting>& liveSettings(PictureReuse reuse) {
    static const std::vector<RenderSetting> temporal = temporalRungs(), perFrame = perFrameRungs();
    return reuse == PictureReuse::Temporal ? temporal : perFrame;
}

std::string rungName(const RenderSetting& setting) {
    return std::to_string(setting.samples) + "@" + std::to_string(setting.width) + "x" +
           std::to_string(setting.height);
}

const RenderSetting* findRung(const std::string& name, PictureReuse reuse) {
    for (const RenderSetting& rung : liveSettings(reuse))
        if (rungName(rung) == name) return &rung;
    return nullptr;
}

std::string describeSetting(const RenderSetting& setting) {
    return std::to_string(setting.samples) + (setting.samples == 1 ? " sample" : " samples") + " per pixel at " +
           std::to_string(setting.width) + " x " + std::to_string(setting.height) +
           (setting.denoisePasses > 0 ? ", filtered" : "");
}

const RenderSetting& previewSetting(PictureReuse reuse) {
    return liveSettings(reuse).back();
}

double settingWork(const RenderSetting& setting) {
    return static_cast<double>(setting.samples) * setting.width * setting.height /
           (static_cast<double>(samplesPerFrame) * frameWidth * frameHeight);
}

FrameData applySetting(const FrameData& record, const RenderSetting& setting) {
    FrameData out = record;
    out.samplesPerFrame = setting.samples;
    if (setting.width != record.width || setting.height != record.height)
        setFrameSize(out, setting.width, setting.height);
    return out;
}

LiveQuality::LiveQuality(double targetFps, bool adaptive, PictureReuse reuse)
    : rungs_(liveSettings(reuse)), budgetMs_(1000.0 / std::max(targetFps, 1.0)), adaptive_(adaptive) {}

void LiveQuality::startLow() {
    if (!adaptive_) return;
    level_ = static_cast<int>(rungs_.size()) - 1;
    measuring_ = true;
}

bool LiveQuality::frameDone(double frameMs, double renderMs, double nowSeconds) {
    if (!adaptive_ || !(frameMs > 0.0)) return false;
    const std::vector<RenderSetting>& settings = rungs_;
    // The render grows with the setting's work; the rest of the frame (title
    // images, presenting, events) does not.
    renderMs = std::clamp(renderMs, 0.0, frameMs);
    const double fullMs = renderMs / settingWork(settings[level_]);
    const double otherMs = frameMs - renderMs;
    // Smooth over a few frames, but let one slow frame after a change count at once.
    const bool fresh = fullWorkMs_ < 0.0;
    fullWorkMs_ = fresh ? fullMs : 0.6 * fullWorkMs_ + 0.4 * fullMs;
    otherMs_ = fresh ? otherMs : 0.6 * otherMs_ + 0.4 * otherMs;
    if (nowSeconds - lastChange_ < qualityChangeSeconds) return false;

    const auto predicted = [&](int level) { return otherMs_ + fullWorkMs_ * settingWork(settings[level]); };
    int wanted = level_;
    if (measuring_) {
        // The first measure: the best setting with room to spare.
        measuring_ = false;
        while (wanted > 0 && predicted(wanted - 1) <= raiseHeadroom * budgetMs_) --wanted;
    } else if (predicted(level_) > budgetMs_) {
        // Too slow: straight down to the first setting that fits (or the lowest).
        while (wanted + 1 < static_cast<int>(settings.size()) && predicted(wanted) > budgetMs_) ++wanted;
    } else if (level_ > 0 && predicted(level_ - 1) <= raiseHeadroom * budgetMs_) {
        wanted = level_ - 1;  // room to spare: one step up
    }
    if (wanted == level_) return false;
    level_ = wanted;
    lastChange_ = nowSeconds;
    // The new setting's first frames tell the truth; start the smoothing afresh.
    fullWorkMs_ = -1.0;
    return true;
}
