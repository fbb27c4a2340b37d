#include "live/window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "live/fatal_error.h"
#include "live/gl_display.h"
#include "live/show_keys.h"
#include "demo/letterbox.h"
#include "demo/surface.h"

namespace {

bool useGL = false;
SDL_Surface* screen = nullptr;
// The picture the demo draws: 640 x 480 unless set otherwise.
int pictureWidth = displayWidth, pictureHeight = displayHeight;
// Software path: the demo draws into `frame` (the picture, 0x00RRGGBB);
// presenting scales it into the screen, through `converted` when the screen's
// pixel layout differs.
SDL_Surface* frame = nullptr;
SDL_Surface* converted = nullptr;
Surface display;
PictureArea area{0, 0, displayWidth, displayHeight};
bool screenStale = false;  // the bars are not on screen yet

bool fullscreen = false;
int windowedWidth = displayWidth, windowedHeight = displayHeight;  // to return to from fullscreen
int screenWidth = 0, screenHeight = 0;                             // the desktop's size, for fullscreen
// What the events asked for, done at the next present.
int pendingWidth = 0, pendingHeight = 0;
bool toggleRequested = false;

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

SDL_Surface* packedSurface(int width, int height) {
    return SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, 0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0);
}

// The size the whole screen has now (asked before the first video mode, when
// SDL reports the desktop's), else the largest mode SDL lists.
void findScreenSize() {
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    screenWidth = info ? info->current_w : 0;
    screenHeight = info ? info->current_h : 0;
    if (screenWidth > 0 && screenHeight > 0) return;
    SDL_Rect** modes = SDL_ListModes(nullptr, SDL_FULLSCREEN);
    if (modes && modes != reinterpret_cast<SDL_Rect**>(-1) && modes[0]) {
        screenWidth = modes[0]->w;  // SDL lists the largest first
        screenHeight = modes[0]->h;
    }
}

// (Re)sets the video mode; the GL context and its textures survive this on X11.
bool setVideoMode(int width, int height, bool wholeScreen) {
    // Resizable in either state: SDL's own switch back from fullscreen keeps the flags.
    const Uint32 sizing = SDL_RESIZABLE | (wholeScreen ? SDL_FULLSCREEN : 0);
    // Always 32 bits for the software surface: at the desktop's depth some
    // drivers hand out 8-bit palettes.
    SDL_Surface* set = useGL ? SDL_SetVideoMode(width, height, 0, SDL_OPENGL | sizing)
                             : SDL_SetVideoMode(width, height, 32, SDL_ASYNCBLIT | sizing);
    if (!set) return false;
    screen = set;
    fullscreen = (screen->flags & SDL_FULLSCREEN) != 0;
    area = letterbox(screen->w, screen->h, pictureWidth, pictureHeight);
    if (useGL) {
        setGLPictureArea(screen->w, screen->h, area);
    } else {
        SDL_FillRect(screen, nullptr, 0);
        screenStale = true;
        if (converted) SDL_FreeSurface(converted);
        converted = isPackedRgb(screen->format) ? nullptr : packedSurface(area.width, area.height);
    }
    return true;
}

bool openGLDisplay(int width, int height, bool wholeScreen) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    useGL = true;
    if (!setVideoMode(width, height, wholeScreen) || !initGL()) return useGL = false;
    return true;
}

bool openSoftwareDisplay(int width, int height, bool wholeScreen, std::string& error) {
    useGL = false;
    if (!setVideoMode(width, height, wholeScreen)) {
        // The display is there (SDL started on it): the window itself is what failed.
        error = "cannot open a " + std::to_string(width) + "x" + std::to_string(height) + " show window: " +
                SDL_GetError();
        return false;
    }
    frame = packedSurface(pictureWidth, pictureHeight);
    if (!frame) {
        error = std::string("cannot create the software frame buffer: ") + SDL_GetError();
        return false;
    }
    // The first present shows whatever the frame holds: make that black.
    SDL_FillRect(frame, nullptr, 0);
    return true;
}

// A new mode, or when SDL refuses it the one before; the show ends when
// neither can be had.
void changeMode(int width, int height, bool wholeScreen) {
    const int oldWidth = screen->w, oldHeight = screen->h;
    const bool wasFullscreen = fullscreen;
    if (setVideoMode(width, height, wholeScreen)) return;
    std::fprintf(stderr, "cannot switch the window to %dx%d%s: %s\n", width, height,
                 wholeScreen ? " on the whole screen" : "", SDL_GetError());
    if (setVideoMode(oldWidth, oldHeight, wasFullscreen)) return;
    std::fprintf(stderr, "cannot restore the window: %s\n", SDL_GetError());
    screen = nullptr;
}

// Into the whole screen at its size, or back into the window at the size it had.
void toggleFullscreen() {
    const bool wasFullscreen = fullscreen;
    if (!wasFullscreen) {
        windowedWidth = screen->w;
        windowedHeight = screen->h;
    }
    const int width = wasFullscreen ? windowedWidth : screenWidth > 0 ? screenWidth : screen->w;
    const int height = wasFullscreen ? windowedHeight : screenHeight > 0 ? screenHeight : screen->h;
    // SDL's own switch keeps the surface's size: enough when that is the size wanted.
    if (width == screen->w && height == screen->h && SDL_WM_ToggleFullScreen(screen)) {
        fullscreen = (screen->flags & SDL_FULLSCREEN) != 0;
        screenStale = true;
        return;
    }
    changeMode(width, height, !wasFullscreen);
}

void applyWindowRequests() {
    if (!screen) return;
    if (toggleRequested) {
        toggleRequested = false;
        pendingWidth = pendingHeight = 0;  // a resize of the window just left or entered is stale
        toggleFullscreen();
    }
    if (screen && pendingWidth > 0 && pendingHeight > 0 && !fullscreen &&
        (pendingWidth != screen->w || pendingHeight != screen->h))
        changeMode(pendingWidth, pendingHeight, false);
    pendingWidth = pendingHeight = 0;
}

void presentSoftware() {
    if (!converted && !isPackedRgb(screen->format)) return;  // no memory to convert the picture in
    SDL_Surface* target = converted ? converted : screen;
    const bool locked = SDL_MUSTLOCK(target) && SDL_LockSurface(target) == 0;
    const int pitch = target->pitch / 4;
    uint32_t* topLeft = static_cast<uint32_t*>(target->pixels);
    if (!converted) topLeft += area.y * pitch + area.x;
    scaleNearest(static_cast<const uint32_t*>(frame->pixels), frame->w, frame->h, frame->pitch / 4, topLeft,
                 area.width, area.height, pitch);
    if (locked) SDL_UnlockSurface(target);
    if (converted) {
        SDL_Rect to{static_cast<Sint16>(area.x), static_cast<Sint16>(area.y), 0, 0};
        SDL_BlitSurface(converted, nullptr, screen, &to);
    }
    if (screenStale)
        SDL_UpdateRect(screen, 0, 0, 0, 0);
    else
        SDL_UpdateRect(screen, area.x, area.y, static_cast<Uint32>(area.width), static_cast<Uint32>(area.height));
    screenStale = false;
}

}  // namespace

bool openWindow(const WindowRequest& request, std::string& error) {
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

    findScreenSize();
    pictureWidth = displayWidth;
    pictureHeight = displayHeight;
    windowedWidth = request.width;
    windowedHeight = request.height;
    const bool wholeScreen = request.fullscreen && screenWidth > 0 && screenHeight > 0;
    const int width = wholeScreen ? screenWidth : request.width;
    const int height = wholeScreen ? screenHeight : request.height;
    pendingWidth = pendingHeight = 0;
    toggleRequested = false;

    if (!(!request.software && openGLDisplay(width, height, wholeScreen)) &&
        !openSoftwareDisplay(width, height, wholeScreen, error))
        return false;
    const char* caption = useGL ? windowCaption : fallbackCaption;
    SDL_WM_SetCaption(caption, caption);
    setFatalErrorCaption(showErrorInCaption);
    display = Surface(pictureWidth, pictureHeight, nullptr, pictureWidth);
    return true;
}

bool openWindow(bool forceSoftware, std::string& error) {
    WindowRequest request;
    request.software = forceSoftware;
    return openWindow(request, error);
}

bool usingGL() {
    return useGL;
}

bool isFullscreen() {
    return fullscreen;
}

void windowSize(int& width, int& height) {
    width = screen ? screen->w : 0;
    height = screen ? screen->h : 0;
}

Surface* displaySurface() {
    return &display;
}

bool setDisplaySize(int width, int height) {
    if (!screen || width <= 0 || height <= 0) return false;
    if (width == pictureWidth && height == pictureHeight) return true;
    if (useGL) {
        if (!resizeFrameBuffers(width, height)) return false;
    } else {
        SDL_Surface* sized = packedSurface(width, height);
        if (!sized) return false;
        SDL_FillRect(sized, nullptr, 0);
        SDL_FreeSurface(frame);
        frame = sized;
    }
    pictureWidth = width;
    pictureHeight = height;
    display = Surface(width, height, nullptr, width);
    // The window's picture area for the new shape (the same for another 4:3 size).
    area = letterbox(screen->w, screen->h, width, height);
    if (useGL) {
        setGLPictureArea(screen->w, screen->h, area);
    } else {
        if (converted) SDL_FreeSurface(converted);
        converted = isPackedRgb(screen->format) ? nullptr : packedSurface(area.width, area.height);
        SDL_FillRect(screen, nullptr, 0);
        screenStale = true;
    }
    return true;
}

PictureArea windowPicture() {
    return screen ? letterbox(screen->w, screen->h, displayWidth, displayHeight) : PictureArea{0, 0, 0, 0};
}

void presentDisplay() {
    applyWindowRequests();
    if (!screen) return;  // lost; drainEvents ends the show
    if (useGL)
        presentFrame();
    else
        presentSoftware();
}

void beginFrame() {
    if (useGL) {
        display.pixels = framePixels();
        display.pitch = pictureWidth;
        return;
    }
    display.pixels = static_cast<uint32_t*>(frame->pixels);  // a software surface needs no lock
    display.pitch = frame->pitch / 4;
}

void endFrame() {}

bool handleWindowEvent(const SDL_Event& event) {
    if (event.type == SDL_VIDEORESIZE) {  // a drag sends many: the last one counts
        pendingWidth = std::min(event.resize.w, maxWindowWidth);  // wider cannot be had
        pendingHeight = event.resize.h;
        return true;
    }
    if (event.type != SDL_KEYDOWN) return false;
    const SDLKey key = event.key.keysym.sym;
    const bool altEnter = (key == SDLK_RETURN || key == SDLK_KP_ENTER) && (event.key.keysym.mod & KMOD_ALT);
    if (key != SDLK_F11 && !altEnter) return false;
    toggleRequested = !toggleRequested;  // pressed twice before a present: no change
    return true;
}

bool drainEvents() {
    bool quit = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (handleWindowEvent(event)) continue;
        if (event.type == SDL_QUIT) quit = true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) quit = true;
        if (event.type == SDL_KEYDOWN) noteShowKey(event.key.keysym.sym);
    }
    return quit || !screen;
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
    if (frame) SDL_FreeSurface(frame);
    if (converted) SDL_FreeSurface(converted);
    frame = converted = nullptr;
    screen = nullptr;
    fullscreen = false;
    display = Surface();
    SDL_Quit();
}
