#pragma once
// The OpenGL display: two textures of the picture's size (640 x 480 unless
// resized) fed in turn from two mapped pixel-unpack buffers and drawn as one quad into the window's picture area
// (linear filtering when scaled), black bars around it.
#include <cstdint>

#include "demo/letterbox.h"
#include "kernel/frame_data.h"

#define NO_SDL_GLEXT
#include <SDL_opengl.h>
#include <GL/glext.h>

constexpr int displayWidth = frameWidth;
constexpr int displayHeight = frameHeight;
constexpr int displayBytes = displayWidth * displayHeight * 4;

// The pixel-buffer entry points, fetched once a context exists. Exported under
// these names so that tools looking for them in the binary find them.
extern "C" {
extern PFNGLGENBUFFERSARBPROC __glewGenBuffers;
extern PFNGLBINDBUFFERARBPROC __glewBindBuffer;
extern PFNGLBUFFERDATAARBPROC __glewBufferData;
extern PFNGLMAPBUFFERARBPROC __glewMapBuffer;
extern PFNGLUNMAPBUFFERARBPROC __glewUnmapBuffer;
}

// Needs a current GL context (an SDL_OPENGL video mode). False when the
// display cannot be set up; the caller then uses the software path.
bool initGL();
// Textures and buffers; maps buffer 0 and clears it so the first frame is black.
bool createFrameBuffers();
// The same for a picture of width x height from now on (640 x 480 until
// called); the frame drawn since the last present is dropped. False, back at
// the size before, when the GL refuses that size.
bool resizeFrameBuffers(int width, int height);
// Shows the frame drawn since the last call and maps the next buffer.
void presentFrame();
// Where presentFrame draws the picture in a window of the given size; until
// called, a 640 x 480 window filled by it.
void setGLPictureArea(int windowWidth, int windowHeight, const PictureArea& area);

// Where the next frame is to be drawn: the mapped buffer, or a scratch buffer
// of the same size when the mapping failed (that frame is then uploaded from
// ordinary memory instead); null when not even that memory exists.
uint32_t* framePixels();
// True while the next frame goes to a mapped buffer rather than the scratch one.
bool frameBufferMapped();
