#pragma once
// The show window: an OpenGL display, or SDL's software surface when OpenGL
// cannot be set up (or is not wanted). The demo draws a 640 x 480 picture
// (or one set by setDisplaySize); the window may have any size, and shows it scaled as large as fits
// with its shape kept, centred between black bars. F11 and Alt+Enter switch
// between the window and the whole screen.
#include <string>

#include "anim/held_keys.h"
#include "demo/letterbox.h"
#include "kernel/frame_data.h"

class Surface;
union SDL_Event;

// SDL 1.2 keeps a surface's row length in bytes in 16 bits: a row of 16384
// 32-bit pixels does not fit ("A scanline is too wide"), with OpenGL or
// without. The height has no such limit.
constexpr int maxWindowWidth = 16383;

constexpr const char* windowCaption = "Template";
constexpr const char* fallbackCaption = "Template - FALLBACK";

struct WindowRequest {
    bool software = false;    // skip OpenGL
    bool fullscreen = false;  // start on the whole screen
    int width = frameWidth;   // the window's size, and the size to return to from the whole screen
    int height = frameHeight;
};

// Opens the window. Without any display to open it on, false with a line that
// points at the headless modes.
bool openWindow(const WindowRequest& request, std::string& error);
// A 640 x 480 window.
bool openWindow(bool forceSoftware, std::string& error);
bool usingGL();
bool isFullscreen();
// The size of the window's drawing area (the screen's size when fullscreen).
void windowSize(int& width, int& height);

// The surface the demo draws into; its pixels are valid between beginFrame and
// endFrame.
Surface* displaySurface();
// The picture the demo draws from the next beginFrame on, 640 x 480 until
// set: the live show's rung above the full frame draws the window's picture
// at its own size. The frame drawn since the last present is dropped (the
// next present shows black). False, with the picture as it was, when the
// display cannot be had at that size.
bool setDisplaySize(int width, int height);
// The window's 4:3 picture area as the window is now.
PictureArea windowPicture();
// Shows the previous frame (the first one is black).
void presentDisplay();
// Points the display surface at the memory for the next frame: the mapped
// pixel buffer, or the software path's own frame surface (which needs no lock).
void beginFrame();
void endFrame();

// Drains the whole event queue, handling the window's own events
// (handleWindowEvent); true when Esc was pressed or the window was asked to close.
bool drainEvents();
// For a caller polling events itself: takes a resize of the window, F11 or
// Alt+Enter (true), or leaves the event to the caller (false). A resize or
// switch takes effect at the next presentDisplay.
bool handleWindowEvent(const SDL_Event& event);
// The camera keys as the last event pump left them.
HeldKeys readHeldKeys();

void closeWindow();
