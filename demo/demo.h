#pragma once
// The demo object: the show's state, its one-time set-up and its per-frame tick.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "anim/show_state.h"
#include "demo/image_file.h"
#include "demo/letterbox.h"
#include "demo/light_sum.h"
#include "demo/live_quality.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "reconstruct/reconstruction.h"
#include "render/frame_driver.h"

class Surface;

struct DemoOptions {
    std::string dataDir = "data";
    bool overlays = true;  // load and draw the title images
    bool music = true;  // the track: played by the live show, muxed into a video
    const char* cameraFile = "cam.txt";
    DriverOptions driver;
    // The picture the surface holds. A size that is not 4:3 sees more or less
    // of the scene's width; with keepAspect the 4:3 view sits between black bars.
    int pictureWidth = frameWidth;
    int pictureHeight = frameHeight;
    bool keepAspect = false;
    // Passes of each moment averaged before the tone curve (successive pass
    // numbers from the driver's counter).
    int passes = 1;
    bool keepLight = false;  // keep each frame's light for light()
    // How reduced frames are made good: accumulated over frames (the default)
    // or each filtered alone.
    PictureReuse reuse = PictureReuse::Temporal;
    // The full setting reconstructed over frames too, instead of shown as rendered.
    bool reconstructFull = false;
};

enum class TickResult { Running, ShowOver, Failed };

class Demo {
public:
    Surface* surface = nullptr;  // the display surface; may stay null headless
    ShowState show;

    // The title images in load order (OverlayId), null until loaded.
    std::array<std::unique_ptr<Sprite>, overlayCount> overlays;

    // Renders with driver, which the caller keeps for the demo's lifetime.
    Demo(DemoOptions options, FrameDriver& driver) : options_(std::move(options)), driver_(driver) {}
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    // Sampler table, camera start and cam.txt, preset 1, record start values,
    // the frame driver, overlays. False with error when the requested
    // backend cannot run or an overlay image cannot be loaded.
    bool init(std::string& error);
    // Everything of a tick before the render.
    void advance(float dtMs) { advanceShow(show, dtMs); }
    // A whole tick: advance, render, copy into the surface, overlays.
    // Failed (with error) when the frame could not be rendered.
    TickResult tick(float dtMs, std::string& error);

    const DemoOptions& options() const { return options_; }
    FrameDriver& driver() const { return driver_; }

    // The surface's picture from now on (the live show's rung above the full
    // setting draws a larger one): the view and the title images follow.
    // The caller points `surface` at one of that size and sets the setting.
    bool setPictureSize(int width, int height, std::string& error);

    // How the next frames are made (the full setting unless changed).
    void setRenderSetting(const RenderSetting& setting) { setting_ = setting; }
    const RenderSetting& renderSetting() const { return setting_; }
    // Whether the frames at the current setting are reconstructed from the
    // frames before them (so a frame depends on the ones before).
    bool reconstructs() const;
    // The frames a headless job renders, unwritten, before its first one at
    // frame time frameMs, so that a reconstructed picture has its history (a
    // second's worth; none for frames that stand alone). At most firstTick.
    int warmUpTicks(int firstTick, double frameMs) const;
    // The next frame starts afresh, sharing nothing with the frames before
    // (after a jump in the show). Another scene, a camera cut and another
    // render size start afresh by themselves.
    void dropHistory() { historyValid_ = false; }
    // How long the last frame's reconstruction took (0 for one shown as rendered).
    double reconstructMs() const { return reconstructMs_; }
    const Reconstruction& reconstruction() const { return reconstruction_; }
    // The record the last frame was rendered from (at its size and samples),
    // and how long making its picture took (render, filter, scaling).
    const FrameData& renderedRecord() const { return rendered_; }
    double pictureMs() const { return pictureMs_; }

    // Told after each pass of a frame of several passes (passes done, of how
    // many), so that a long frame can show how far it has come.
    std::function<void(int, int)> onPassDone;

    // Where the rendered view lies on the surface (all of it unless keepAspect).
    const PictureArea& viewArea() const { return area_; }
    // The last frame's light before the tone curve, 3 floats per pixel of the
    // view area, without the title images; null unless keepLight was asked for
    // and the frame was rendered exactly (not a filtered preview).
    const float* light() const { return lightValid_ ? light_.data() : nullptr; }

    // While refining, frames of one unchanged moment are averaged (each a new
    // pass, at the view's size, the light summed before the tone curve), so a paused
    // picture converges to a clean one. How many passes the picture holds.
    void setRefining(bool on);
    int refinedPasses() const { return refined_.passes; }

private:
    // Whether the current setting is the view's full frame.
    bool exactSetting() const;
    // Renders the frame at the current setting; the view area's pixels to show,
    // or null (with error) when it could not be rendered.
    const uint32_t* renderFrame(std::string& error);
    // renderFrame while refining; null when this backend gives no light to average.
    const uint32_t* refineFrame(std::string& error);
    // A frame reconstructed from the frames before: rendered with this frame's
    // sub-pixel offset, accumulated and scaled up to the view.
    const uint32_t* reconstructedFrame(std::string& error);
    // The exact frame as the average of options.passes passes (or one pass with its light kept).
    const uint32_t* averagedFrame(const FrameData& record, std::string& error);
    // The title images for the view's height: as loaded at 480, else scaled.
    bool fitOverlays(std::string& error);

    DemoOptions options_;
    FrameDriver& driver_;
    std::array<Image, overlayCount> titles_;  // as loaded
    std::array<Image, overlayCount> images_;  // scaled to the view's height
    RenderSetting setting_ = liveSettings(options_.reuse).front();
    PictureArea area_{0, 0, frameWidth, frameHeight};
    std::vector<float> light_;
    bool lightValid_ = false;
    std::vector<float> filtered_;    // a reduced frame's light after the filter
    std::vector<uint32_t> display_;  // a reduced frame scaled to the display
    FrameData rendered_{};
    double pictureMs_ = 0.0;
    bool refining_ = false;
    FrameData refinedMoment_{};    // the record whose passes are summed
    LightSum passSum_;  // the passes of an exact frame of several
    LightSum refined_;  // the passes of a paused moment
    Reconstruction reconstruction_;
    FrameData lastReconstructed_{};  // the record of the frame the history holds
    bool historyValid_ = false;
    double reconstructMs_ = 0.0;
};

// Makes the demo's frames at a rung of the live show and says so.
void useRung(Demo& demo, const RenderSetting& rung);

// Makes the demo's frames at the lowest live setting (--preview) and says so.
void usePreviewSetting(Demo& demo);
