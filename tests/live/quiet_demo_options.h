#pragma once
// A Demo for tests of the live show without a window: no title images, no
// music, no camera file, the CPU backend.
#include "demo/demo.h"

inline DemoOptions quietDemoOptions() {
    DemoOptions options;
    options.overlays = false;
    options.music = false;
    options.cameraFile = nullptr;
    options.driver.backend = BackendChoice::Cpu;
    return options;
}
