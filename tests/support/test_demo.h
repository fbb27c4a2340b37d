#pragma once
// A Demo for tests without a window, and the picture it draws into.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "demo/surface.h"

// No title images, no music, no camera file, the CPU backend.
inline DemoOptions quietDemoOptions() {
    DemoOptions options;
    options.overlays = false;
    options.music = false;
    options.cameraFile = nullptr;
    options.driver.backend = BackendChoice::Cpu;
    return options;
}

// The Demo of these options, set up, drawing into `pixels` (rows `pitch` apart).
struct TestDemo {
    FrameDriver driver;
    Demo demo;
    std::vector<uint32_t> pixels;
    Surface surface;
    explicit TestDemo(const DemoOptions& options, int pitch = 0, uint32_t fill = 0u)
        : demo(options, driver),
          pixels(static_cast<size_t>(pitch ? pitch : options.pictureWidth) * options.pictureHeight, fill),
          surface(options.pictureWidth, options.pictureHeight, pixels.data(), pitch ? pitch : options.pictureWidth) {
        demo.surface = &surface;
        std::string error;
        EXPECT_TRUE(demo.init(error)) << error;
    }
};
