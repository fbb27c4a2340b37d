#include "live/show_keys.h"

#include <SDL.h>

namespace {
ShowKeys pending;
}  // namespace

void noteShowKey(int sdlKey) {
    switch (sdlKey) {
        case SDLK_SPACE:
            ++pending.pausePresses;
            break;
        case SDLK_i:
            ++pending.readoutPresses;
            break;
        case SDLK_LEFT:
            --pending.seekSteps;
            break;
        case SDLK_RIGHT:
            ++pending.seekSteps;
            break;
        default:
            break;
    }
}

ShowKeys takeShowKeys() {
    const ShowKeys taken = pending;
    pending = ShowKeys{};
    return taken;
}
