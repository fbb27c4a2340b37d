#pragma once
// The OpenGL display: two 640 x 480 textures fed in turn from two mapped
// pixel-unpack buffers and drawn as one screen-filling quad.
#include <cstdint>

#define NO_SDL_GLEXT
#include <SDL_opengl.h>
#include <GL/glext.h>

constexpr int displayWidth = 640;
constexpr int displayHeight = 480;
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
// Shows the frame drawn since the last call and maps the next buffer.
void presentFrame();

// Where the next frame is to be drawn: the mapped buffer, or a scratch buffer
// of the same size when the mapping failed (that frame is then uploaded from
// ordinary memory instead); null when not even that memory exists.
uint32_t* framePixels();
// True while the next frame goes to a mapped buffer rather than the scratch one.
bool frameBufferMapped();
