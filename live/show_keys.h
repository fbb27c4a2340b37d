#pragma once
// The show's one-shot control keys, counted as the window's event drain sees
// them pressed: Space pauses or resumes, Left and Right jump back or forward,
// I shows or hides the readout.

struct ShowKeys {
    int pausePresses = 0;
    int readoutPresses = 0;
    int seekSteps = 0;  // Right presses less Left presses
};

// Counts one key press (an SDL key symbol); other keys are ignored.
void noteShowKey(int sdlKey);
// The presses counted since the last call.
ShowKeys takeShowKeys();
