#pragma once
// How much work a live frame gets. When the renderer cannot hold the target
// frame rate, the show lowers the samples per pixel and the render size; reduced
// frames are reconstructed (or, with per-frame reuse, filtered) and scaled up to
// the display. When there is room again it goes back up, one setting (a rung) at
// a time. The full setting is exactly the build's frame.
#include <string>
#include <vector>

#include "kernel/frame_data.h"

struct RenderSetting {
    int samples = 0;  // per pixel
    int width = 0;
    int height = 0;
    int denoisePasses = 0;  // 0: the frame is shown as rendered
};

// How reduced frames are made good. Temporal: accumulated from frame to frame
// and reconstructed at the display's size (reconstruct/); per frame: each one
// filtered alone and scaled bilinearly (--temporal off).
enum class PictureReuse { Temporal, PerFrame };

// The rungs from the full setting (index 0) down. With temporal reuse they are
// about 1.4x the work apart and give up samples before pixels: accumulated
// over frames, one sample on more pixels shows more than several on fewer.
// Per frame each is half the work of the one before, samples first.
const std::vector<RenderSetting>& liveSettings(PictureReuse reuse = PictureReuse::Temporal);
// "1@320x240": samples per pixel at the render size, as --rung takes it.
std::string rungName(const RenderSetting& setting);
// The rung of that name, or null.
const RenderSetting* findRung(const std::string& name, PictureReuse reuse);
// The share of the full setting's work a setting takes.
double settingWork(const RenderSetting& setting);
// The record as the setting renders it (same view; other size and samples).
FrameData applySetting(const FrameData& record, const RenderSetting& setting);

// "4 samples per pixel at 160 x 120, filtered".
std::string describeSetting(const RenderSetting& setting);
// The lowest live setting: what --preview makes stills and captures with.
const RenderSetting& previewSetting(PictureReuse reuse = PictureReuse::Temporal);

constexpr double defaultTargetFps = 30.0;
// At most one change of setting per this many seconds, so the picture does not flicker.
constexpr double qualityChangeSeconds = 1.0;
// Go up only when the next setting is predicted to take at most this share of the frame budget.
constexpr double raiseHeadroom = 0.8;

class LiveQuality {
public:
    // adaptive false: the full setting always.
    LiveQuality(double targetFps, bool adaptive, PictureReuse reuse = PictureReuse::Temporal);

    const RenderSetting& setting() const { return rungs_[level_]; }
    int level() const { return level_; }
    double budgetMs() const { return budgetMs_; }

    // Starts from the lowest setting instead of the full one (where the full
    // frame surely takes far too long, as on a CPU); the first frame's time
    // then leads straight to the setting that fits.
    void startLow();

    // One presented frame took frameMs at the current setting, renderMs of it
    // making the picture; nowSeconds is a steady clock. True when the setting
    // changed for the next frame.
    bool frameDone(double frameMs, double renderMs, double nowSeconds);

private:
    const std::vector<RenderSetting>& rungs_;
    double budgetMs_;
    bool adaptive_;
    int level_ = 0;
    double fullWorkMs_ = -1.0;  // smoothed: what the full setting's picture would take
    double otherMs_ = 0.0;      // smoothed: the rest of a frame
    double lastChange_ = -1e9;
    bool measuring_ = false;  // after startLow: the first frame picks the setting
};
