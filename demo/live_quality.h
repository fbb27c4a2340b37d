#pragma once
// How much work a live frame gets. When the renderer cannot hold the target
// frame rate, the show lowers the samples per pixel and the render size; reduced
// frames are reconstructed (or, with per-frame reuse, filtered) and scaled up to
// the display. When there is room again it goes back up, one setting (a rung) at
// a time, or past rungs that would not fit to the nearest one above that would
// (the full frame shown exact needs no reconstruction, which can cost more than
// the rungs' render). The full setting is exactly the build's frame.
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

// What reconstructing a frame of the setting costs, in units of one render
// pixel's work: the accumulation and the filter go with the render's pixels,
// the upsampling with the output's. reconstruct_bench into 640 x 480 on a
// 2-core AVX-512 machine: 3.1, 5.0, 6.7, 8.4 and 11.3 ms from 224 x 168 up to
// 544 x 408, about 1.4 ms plus 0.045 ms per thousand render pixels, so an
// output pixel costs about a tenth of a render pixel. 0 for a setting that is
// not reconstructed.
double reconstructionUnits(const RenderSetting& setting, bool reconstructed);

class LiveQuality {
public:
    // adaptive false: the full setting always.
    LiveQuality(double targetFps, bool adaptive, PictureReuse reuse = PictureReuse::Temporal);

    const RenderSetting& setting() const { return rungs_[level_]; }
    // The current setting's place on the ladder (liveSettings' index when no
    // rung lies above the full setting).
    int level() const { return level_; }
    // The 4:3 picture the window shows (its area between the bars). Larger
    // than the full frame, one rung lies above the full setting: the full
    // samples at that size, shown exact, for a renderer with room to spare
    // (the display then draws a picture of that size). Smaller or equal,
    // more pixels than a frame may have, or not adaptive: none. True when the current setting changed (it was that
    // rung and is no more: the full setting instead).
    bool setWindowPicture(int width, int height);
    // Whether the current setting is that rung above the full setting.
    bool aboveFull() const { return level_ < fullLevel_; }
    double budgetMs() const { return budgetMs_; }

    // Starts from the lowest setting instead of the full one (where the full
    // frame surely takes far too long, as on a CPU); the first frame's time
    // then leads straight to the setting that fits.
    void startLow();

    // Whether the full setting is reconstructed too (--quality clean); the
    // reduced ones always are with temporal reuse.
    void setFullReconstructed(bool on) { fullReconstructed_ = on; }

    // One presented frame took frameMs at the current setting, renderMs of it
    // making the picture and reconstructMs reconstructing it; nowSeconds is a
    // steady clock. True when the setting changed for the next frame.
    bool frameDone(double frameMs, double renderMs, double nowSeconds, double reconstructMs = 0.0);

private:
    std::vector<RenderSetting> rungs_;
    int fullLevel_ = 0;  // the full setting's place: 1 with a rung above it
    PictureReuse reuse_;
    double budgetMs_;
    bool adaptive_;
    int level_ = 0;
    double fullWorkMs_ = -1.0;  // smoothed: what the full setting's picture would take
    double otherMs_ = 0.0;      // smoothed: the rest of a frame
    double reconstructUnitMs_ = 0.0;  // smoothed: the reconstruction per reconstructionUnits
    bool fullReconstructed_ = false;
    double lastChange_ = -1e9;
    bool measuring_ = false;  // after startLow: the first frame picks the setting
};
