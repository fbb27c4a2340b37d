#include "app/show_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/exit_codes.h"
#include "app/fatal_error.h"
#include "app/window.h"

namespace {

using Counter = std::chrono::steady_clock;

int64_t readCounter() {
    return Counter::now().time_since_epoch().count();
}

constexpr int64_t counterFrequency = Counter::period::den / Counter::period::num;

// The fixed step of a jump into the show; the same as the headless modes use.
constexpr float skipStepMs = 10.0f;

// Runs the show's animation without rendering up to `seconds` of demo time.
// Beyond the show's end there is nothing to skip to (and a float clock would
// stop advancing long before an arbitrary target).
void skipAhead(Game& game, double seconds) {
    if (seconds <= 0.0) return;
    const float target = static_cast<float>(std::min(seconds, static_cast<double>(showLengthSeconds)));
    game.advance(0.0f);
    while (game.show.demoTime < target) game.advance(skipStepMs);
}

}  // namespace

double frameMilliseconds(int64_t start, int64_t end, int64_t countsPerSecond) {
    const int64_t countsPerMs = countsPerSecond / 1000;
    return static_cast<double>(end - start) / static_cast<double>(countsPerMs);
}

int runShow(const Options& options, const GameOptions& gameOptions) {
    std::printf("application started.\n");
    std::string error;
    if (!openWindow(options.software, error)) {
        reportFatalError(error);
        return exitError;
    }

    Game game(gameOptions);
    game.surface = displaySurface();
    bool initPending = true;
    double frameMs = 0.0;
    int exitCode = exitUserEnded;

    for (bool quit = false; !quit;) {
        presentDisplay();
        if (initPending) {
            if (!game.init(error)) {
                exitCode = exitError;
                break;
            }
            initPending = false;
            skipAhead(game, options.startSeconds);
        }

        game.show.keys = readHeldKeys();
        beginFrame();
        const int64_t start = readCounter();
        const TickResult result = game.tick(static_cast<float>(frameMs), error);
        const int64_t end = readCounter();
        endFrame();
        frameMs = frameMilliseconds(start, end, counterFrequency);
        if (result == TickResult::Failed) {
            exitCode = exitError;
            break;
        }
        if (result == TickResult::ShowOver) {
            exitCode = exitDone;
            break;
        }
        quit = drainEvents();
    }
    if (exitCode == exitError) reportFatalError(error);
    closeWindow();
    return exitCode;
}
