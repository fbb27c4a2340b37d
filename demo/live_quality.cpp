#include "demo/live_quality.h"

#include <algorithm>

#include "kernel/build_setting.h"
#include "render/frame_driver.h"
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
    : rungs_(liveSettings(reuse)), reuse_(reuse), budgetMs_(1000.0 / std::max(targetFps, 1.0)), adaptive_(adaptive) {}

bool LiveQuality::setWindowPicture(int width, int height) {
    const RenderSetting current = rungs_[level_];
    const bool wasAbove = aboveFull();
    rungs_ = liveSettings(reuse_);
    fullLevel_ = 0;
    // No larger than a frame may be (a window can be far larger).
    const bool renderable = static_cast<long long>(width) * height <= maxFramePixels;
    if (adaptive_ && width > frameWidth && height > frameHeight && renderable) {
        rungs_.insert(rungs_.begin(), RenderSetting{samplesPerFrame, width, height, 0});
        fullLevel_ = 1;
    }
    const auto same = [&](const RenderSetting& r) {
        return r.samples == current.samples && r.width == current.width && r.height == current.height &&
               r.denoisePasses == current.denoisePasses;
    };
    const auto kept = std::find_if(rungs_.begin(), rungs_.end(), same);
    level_ = kept != rungs_.end() ? static_cast<int>(kept - rungs_.begin()) : fullLevel_;
    if (kept != rungs_.end() || !wasAbove) return false;
    fullWorkMs_ = -1.0;
    return true;
}

void LiveQuality::startLow() {
    if (!adaptive_) return;
    level_ = static_cast<int>(rungs_.size()) - 1;
    measuring_ = true;
}

double reconstructionUnits(const RenderSetting& setting, bool reconstructed) {
    constexpr double outputPixelShare = 0.1;
    if (!reconstructed) return 0.0;
    return static_cast<double>(setting.width) * setting.height + outputPixelShare * frameWidth * frameHeight;
}

bool LiveQuality::frameDone(double frameMs, double renderMs, double nowSeconds, double reconstructMs) {
    if (!adaptive_ || !(frameMs > 0.0)) return false;
    const std::vector<RenderSetting>& settings = rungs_;
    const auto reconstructed = [&](int level) {
        return reuse_ == PictureReuse::Temporal && (level > fullLevel_ || (level == fullLevel_ && fullReconstructed_));
    };
    // The render grows with the setting's work, the reconstruction with its
    // pixels; the rest of the frame (title images, presenting, events) does not.
    renderMs = std::clamp(renderMs, 0.0, frameMs);
    reconstructMs = std::clamp(reconstructMs, 0.0, frameMs - renderMs);
    const double units = reconstructionUnits(settings[level_], reconstructed(level_));
    if (!(units > 0.0)) reconstructMs = 0.0;  // counted with the rest
    const double fullMs = renderMs / settingWork(settings[level_]);
    const double otherMs = frameMs - renderMs - reconstructMs;
    // Smooth over a few frames, but let one slow frame after a change count at once.
    const bool fresh = fullWorkMs_ < 0.0;
    fullWorkMs_ = fresh ? fullMs : 0.6 * fullWorkMs_ + 0.4 * fullMs;
    otherMs_ = fresh ? otherMs : 0.6 * otherMs_ + 0.4 * otherMs;
    // The reconstruction's cost is kept from setting to setting: the full
    // setting shown exact does not tell it.
    if (units > 0.0) {
        const double unitMs = reconstructMs / units;
        reconstructUnitMs_ = fresh || reconstructUnitMs_ == 0.0 ? unitMs : 0.6 * reconstructUnitMs_ + 0.4 * unitMs;
    }
    if (nowSeconds - lastChange_ < qualityChangeSeconds) return false;

    const auto predicted = [&](int level) {
        return otherMs_ + fullWorkMs_ * settingWork(settings[level]) +
               reconstructUnitMs_ * reconstructionUnits(settings[level], reconstructed(level));
    };
    // The settings' costs need not fall rung by rung: the full setting shown
    // exact has no reconstruction, which on a fast renderer costs more than
    // the render of the rungs below it.
    const auto roomy = [&](int level) { return predicted(level) <= raiseHeadroom * budgetMs_; };
    int wanted = level_;
    if (measuring_) {
        // The first measure: the best setting with room to spare.
        measuring_ = false;
        for (int level = 0; level < level_; ++level)
            if (roomy(level)) {
                wanted = level;
                break;
            }
    } else if (predicted(level_) > budgetMs_) {
        // Too slow: straight down to the first setting that fits (or the lowest).
        while (wanted + 1 < static_cast<int>(settings.size()) && predicted(wanted) > budgetMs_) ++wanted;
    } else {
        // Room to spare: a step up, or past rungs that would not fit to the
        // nearest one above that would.
        for (int level = level_ - 1; level >= 0; --level)
            if (roomy(level)) {
                wanted = level;
                break;
            }
    }
    if (wanted == level_) return false;
    level_ = wanted;
    lastChange_ = nowSeconds;
    // The new setting's first frames tell the truth; start the smoothing afresh.
    fullWorkMs_ = -1.0;
    return true;
}
