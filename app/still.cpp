#include "app/still.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "app/output_file.h"
#include "app/png_writer.h"
#include "demo/surface.h"

int tickForMoment(double seconds, double dtMs) {
    return static_cast<int>(std::lround(seconds * 1000.0 / dtMs));
}

int runStill(const Options& options, const GameOptions& gameOptions) {
    std::string error;
    if (!checkOutputFile(options.outPath, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return 2;
    }
    Game game(gameOptions);
    std::vector<uint32_t> pixels(frameWidth * frameHeight, 0u);
    Surface surface(frameWidth, frameHeight, pixels.data(), frameWidth);
    game.surface = &surface;
    if (!game.init(error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return 2;
    }
    const int last = tickForMoment(options.stillSeconds, options.dtMs);
    const float dt = static_cast<float>(options.dtMs);
    for (int tick = 0; tick < last; ++tick) game.advance(tick == 0 ? 0.0f : dt);
    // The frame counter seeds the noise: a still is the capture's frame of that tick.
    frameDriver().setPassCounter(last);
    if (game.tick(last == 0 ? 0.0f : dt, error) == TickResult::Failed) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return 2;
    }

    if (!writePng(options.outPath.c_str(), pixels.data(), frameWidth, frameHeight, frameWidth, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return 2;
    }
    std::printf("wrote %s (t = %.3f s, tick %d)\n", options.outPath.c_str(), game.show.demoTime, last);
    return 0;
}
