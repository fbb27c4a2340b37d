// A private X server for tests that open real windows, and reading their pixels back.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// Pixels as 0xRRGGBB rows.
using Pixels = std::vector<uint32_t>;

// Xvfb on a display number it picks itself; `name` (":N") is set once it
// accepts connections and stays empty when it did not start.
struct XServer {
    pid_t pid = -1;
    std::string name;
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
};

// The top-left width x height pixels of `window` (of the whole screen for
// window 0); empty while they cannot be read.
Pixels grabWindow(const std::string& display, unsigned long window, int width, int height);

// Polls until `wanted` holds for a grab or `seconds` of wall-clock time have
// passed, and returns the last grab. The deadline is generous: on a loaded
// machine one CPU frame can take many seconds, and the poll returns as soon as
// the picture is there.
template <class Wanted>
Pixels grabWindowWhen(const std::string& display, unsigned long window, int width, int height, double seconds,
                      Wanted wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    Pixels pixels;
    while (!wanted(pixels = grabWindow(display, window, width, height)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return pixels;
}
