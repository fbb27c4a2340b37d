#pragma once
// Which camera keys are held during a tick. The window fills it from the
// keyboard state each frame; headless runs leave every key released.
struct HeldKeys {
    bool w = false, s = false, a = false, d = false, r = false, f = false;
};
