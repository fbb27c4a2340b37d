#include "app/window.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/fatal_error.h"
#include "app/gl_display.h"
#include "demo/surface.h"

namespace {

bool useGL = false;
SDL_Surface* screen = nullptr;
// Used instead of drawing into the screen directly when its pixel layout is
// not 0x00RRGGBB; blitted across (and converted) on present.
SDL_Surface* shadow = nullptr;
bool screenLocked = false;
Surface display;

bool noDisplay(const std::string& reason, std::string& error) {
    error = "cannot open the show window (" + reason + "); use --still or --capture to render without a display";
    return false;
}

void showErrorInCaption(const char* text) {
    const std::string caption = std::string("ERROR: ") + text;
    SDL_WM_SetCaption(caption.c_str(), caption.c_str());
}

bool isPackedRgb(const SDL_PixelFormat* format) {
    return format->BitsPerPixel == 32 && format->Rmask == 0x00ff0000u && format->Gmask == 0x0000ff00u &&
           format->Bmask == 0x000000ffu;
}

bool openGLDisplay() {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    screen = SDL_SetVideoMode(displayWidth, displayHeight, 0, SDL_OPENGL);
    if (!screen) return false;
    return initGL();
}

bool openSoftwareDisplay(std::string& error) {
    // Always 32 bits: at the desktop's depth some drivers hand out 8-bit palettes.
    screen = SDL_SetVideoMode(displayWidth, displayHeight, 32, SDL_ASYNCBLIT);
    if (!screen) return noDisplay(SDL_GetError(), error);
    if (!isPackedRgb(screen->format)) {
        shadow = SDL_CreateRGBSurface(SDL_SWSURFACE, displayWidth, displayHeight, 32, 0x00ff0000u, 0x0000ff00u,
                                      0x000000ffu, 0);
        if (!shadow) {
            error = std::string("cannot create the software frame buffer: ") + SDL_GetError();
            return false;
        }
    }
    return true;
}

}  // namespace

bool openWindow(bool forceSoftware, std::string& error) {
    // With neither, SDL picks a text-terminal driver and draws into the console.
    const char* x11Display = std::getenv("DISPLAY");
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const bool driverChosen = driver && *driver;
    if ((!x11Display || !*x11Display) && !driverChosen) return noDisplay("DISPLAY is not set", error);
    // Left to itself SDL also falls back to that driver when the X server cannot
    // be reached: hold it to X so that the failure is reported instead.
    if (!driverChosen) setenv("SDL_VIDEODRIVER", "x11", 1);

    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) != 0) return noDisplay(SDL_GetError(), error);
    SDL_EnableKeyRepeat(0, 0);

    useGL = !forceSoftware && openGLDisplay();
    if (!useGL && !openSoftwareDisplay(error)) return false;
    const char* caption = useGL ? windowCaption : fallbackCaption;
    SDL_WM_SetCaption(caption, caption);
    setFatalErrorCaption(showErrorInCaption);

    display = Surface(displayWidth, displayHeight, nullptr, displayWidth);
    if (!useGL) {
        // The first present shows whatever the surface holds: make that black.
        SDL_Surface* target = shadow ? shadow : screen;
        SDL_FillRect(target, nullptr, 0);
    }
    return true;
}

bool usingGL() {
    return useGL;
}

Surface* displaySurface() {
    return &display;
}

void presentDisplay() {
    if (useGL) {
        presentFrame();
        return;
    }
    if (shadow) SDL_BlitSurface(shadow, nullptr, screen, nullptr);
    SDL_UpdateRect(screen, 0, 0, 0, 0);
}

void beginFrame() {
    if (useGL) {
        display.pixels = framePixels();
        display.pitch = displayWidth;
        return;
    }
    SDL_Surface* target = shadow ? shadow : screen;
    screenLocked = SDL_MUSTLOCK(target) && SDL_LockSurface(target) == 0;
    display.pixels = static_cast<uint32_t*>(target->pixels);
    display.pitch = target->pitch / 4;
}

void endFrame() {
    if (screenLocked) SDL_UnlockSurface(shadow ? shadow : screen);
    screenLocked = false;
}

bool drainEvents() {
    bool quit = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) quit = true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) quit = true;
    }
    return quit;
}

HeldKeys readHeldKeys() {
    const Uint8* state = SDL_GetKeyState(nullptr);
    HeldKeys keys;
    keys.w = state[SDLK_w];
    keys.s = state[SDLK_s];
    keys.a = state[SDLK_a];
    keys.d = state[SDLK_d];
    keys.r = state[SDLK_r];
    keys.f = state[SDLK_f];
    return keys;
}

void closeWindow() {
    setFatalErrorCaption(nullptr);
    if (shadow) SDL_FreeSurface(shadow);
    shadow = nullptr;
    screen = nullptr;
    display = Surface();
    SDL_Quit();
}
