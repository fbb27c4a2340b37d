#pragma once
// The demo as a headless job runs it: no music (a video gets the track from
// the file), a picture of the job's size to draw into, and the render setting
// the outputs ask for: the exact frame, the preview or a rung.
#include <cstdint>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "demo/surface.h"
#include "outputs/output_choices.h"
#include "render/frame_driver.h"

class HeadlessDemo {
public:
    explicit HeadlessDemo(const DemoOptions& options);
    HeadlessDemo(const HeadlessDemo&) = delete;
    HeadlessDemo& operator=(const HeadlessDemo&) = delete;

    // Demo::init, then the setting of --preview or --rung. False with error.
    bool init(const OutputChoices& output, std::string& error);

    Demo& demo() { return demo_; }
    FrameDriver& driver() { return driver_; }
    // The picture the last tick drew, titles included.
    const Surface& picture() const { return surface_; }

private:
    static DemoOptions withoutMusic(DemoOptions options);

    FrameDriver driver_;
    Demo demo_;
    std::vector<uint32_t> pixels_;
    Surface surface_;
};
