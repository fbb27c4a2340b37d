#pragma once
// The 640 x 480 show window: an OpenGL display, or SDL's software surface when
// OpenGL cannot be set up (or is not wanted).
#include <string>

#include "anim/held_keys.h"

class Surface;

constexpr const char* windowCaption = "Template";
constexpr const char* fallbackCaption = "Template - FALLBACK";

// Opens the window. Without any display to open it on, false with a line that
// points at the headless modes.
bool openWindow(bool forceSoftware, std::string& error);
bool usingGL();

// The surface the demo draws into; its pixels are valid between beginFrame and
// endFrame.
Surface* displaySurface();
// Shows the previous frame (the first one is black).
void presentDisplay();
// Points the display surface at the memory for the next frame, locking the
// software surface when SDL asks for that.
void beginFrame();
void endFrame();

// Drains the whole event queue; true when Esc was pressed or the window was
// asked to close.
bool drainEvents();
// The camera keys as the last event pump left them.
HeldKeys readHeldKeys();

void closeWindow();
