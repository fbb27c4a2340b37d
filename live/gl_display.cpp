#include "live/gl_display.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include <GL/glx.h>

extern "C" {
PFNGLGENBUFFERSARBPROC __glewGenBuffers = nullptr;
PFNGLBINDBUFFERARBPROC __glewBindBuffer = nullptr;
PFNGLBUFFERDATAARBPROC __glewBufferData = nullptr;
PFNGLMAPBUFFERARBPROC __glewMapBuffer = nullptr;
PFNGLUNMAPBUFFERARBPROC __glewUnmapBuffer = nullptr;
}

namespace {

constexpr GLuint noBuffer = static_cast<GLuint>(-1);

GLuint textures[2] = {0, 0};
GLuint pixelBuffers[2] = {noBuffer, noBuffer};
int currentBuffer = 0;
void* mappedPixels = nullptr;
uint32_t* scratchPixels = nullptr;  // stands in for a buffer that would not map

int windowWidth = displayWidth, windowHeight = displayHeight;
PictureArea pictureArea{0, 0, displayWidth, displayHeight};
// The picture the textures and buffers hold.
int textureWidth = displayWidth, textureHeight = displayHeight;

size_t textureBytes() {
    return static_cast<size_t>(textureWidth) * textureHeight * 4;
}

// Whole-word match in a space-separated extension list.
bool listsExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

// Frames must not wait for the vertical retrace. Only extensions the server
// lists are called: an unlisted entry point may end the process via an X error.
// (The SGI variant rejects an interval of 0, so it is not used.)
void switchOffSwapInterval() {
    Display* display = glXGetCurrentDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable) return;
    const char* glxExtensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (listsExtension(glxExtensions, "GLX_EXT_swap_control")) {
        auto setInterval = reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(SDL_GL_GetProcAddress("glXSwapIntervalEXT"));
        if (setInterval) setInterval(display, drawable, 0);
    } else if (listsExtension(glxExtensions, "GLX_MESA_swap_control")) {
        auto setInterval = reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(SDL_GL_GetProcAddress("glXSwapIntervalMESA"));
        if (setInterval) setInterval(0);
    }
}

template <typename Pointer>
bool fetch(Pointer& pointer, const char* name) {
    pointer = reinterpret_cast<Pointer>(SDL_GL_GetProcAddress(name));
    return pointer != nullptr;
}

// Linear when the picture is scaled, so that it stays smooth. Unscaled, every
// pixel centre lands on a texel centre and both filters show the picture as it
// is; the nearest texel is the cheaper (by about 0.8 ms a frame in Mesa's
// software renderer). For the texture bound.
void setFilter() {
    const bool scaled = pictureArea.width != textureWidth || pictureArea.height != textureHeight;
    const GLint filter = scaled ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

bool mapCurrentBuffer() {
    mappedPixels = __glewMapBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, GL_WRITE_ONLY_ARB);
    return mappedPixels != nullptr;
}

}  // namespace

bool initGL() {
    pixelBuffers[0] = pixelBuffers[1] = noBuffer;
    // A pointer alone proves nothing: the loader hands out stubs for any name.
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!listsExtension(extensions, "GL_ARB_pixel_buffer_object")) return false;
    const bool fetched = fetch(__glewGenBuffers, "glGenBuffersARB") & fetch(__glewBindBuffer, "glBindBufferARB") &
                         fetch(__glewBufferData, "glBufferDataARB") & fetch(__glewMapBuffer, "glMapBufferARB") &
                         fetch(__glewUnmapBuffer, "glUnmapBufferARB");
    if (!fetched) return false;
    if (glGetError() != GL_NO_ERROR) return false;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);

    if (!createFrameBuffers()) return false;

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);  // blending itself stays off
    switchOffSwapInterval();
    return true;
}

namespace {

// The textures and buffers (made or not) sized for the picture; buffer 0
// mapped and cleared.
bool sizeFrameBuffers() {
    // With a buffer bound the textures' storage would be read from it.
    __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, 0);
    for (GLuint texture : textures) {
        glBindTexture(GL_TEXTURE_2D, texture);
        setFilter();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, textureWidth, textureHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        if (glGetError() != GL_NO_ERROR) return false;
    }
    for (GLuint buffer : pixelBuffers) {
        __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, buffer);
        __glewBufferData(GL_PIXEL_UNPACK_BUFFER_ARB, static_cast<GLsizeiptrARB>(textureBytes()), nullptr,
                         GL_STREAM_DRAW_ARB);
    }
    __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, 0);

    currentBuffer = 0;
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, pixelBuffers[0]);
    if (!mapCurrentBuffer()) return false;
    std::memset(mappedPixels, 0, textureBytes());
    return glGetError() == GL_NO_ERROR;
}

}  // namespace

bool createFrameBuffers() {
    // A new display starts at 640 x 480, whatever an earlier one was.
    textureWidth = displayWidth;
    textureHeight = displayHeight;
    std::free(scratchPixels);
    scratchPixels = nullptr;
    glGenTextures(2, textures);
    if (glGetError() != GL_NO_ERROR) return false;
    __glewGenBuffers(2, pixelBuffers);
    return sizeFrameBuffers();
}

bool resizeFrameBuffers(int width, int height) {
    if (width == textureWidth && height == textureHeight) return true;
    // The buffer mapped for the next frame is given up (that frame is black).
    if (mappedPixels) __glewUnmapBuffer(GL_PIXEL_UNPACK_BUFFER_ARB);
    mappedPixels = nullptr;
    std::free(scratchPixels);
    scratchPixels = nullptr;
    const int oldWidth = textureWidth, oldHeight = textureHeight;
    textureWidth = width;
    textureHeight = height;
    if (sizeFrameBuffers()) return true;
    // Refused (too large for the GL): back to the size it had.
    textureWidth = oldWidth;
    textureHeight = oldHeight;
    sizeFrameBuffers();
    return false;
}

void presentFrame() {
    // The buffer bound since the last call holds the frame just drawn. When it
    // could not be mapped, the frame went to the scratch buffer and is uploaded
    // from there; a buffer whose contents were lost while mapped is not shown.
    const bool wasMapped = mappedPixels != nullptr;
    const bool intact = wasMapped ? __glewUnmapBuffer(GL_PIXEL_UNPACK_BUFFER_ARB) == GL_TRUE : true;

    glBindTexture(GL_TEXTURE_2D, textures[currentBuffer]);
    if (wasMapped) {
        __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, pixelBuffers[currentBuffer]);
        if (intact)
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, textureWidth, textureHeight, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    } else if (scratchPixels) {
        __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, 0);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, textureWidth, textureHeight, GL_BGRA, GL_UNSIGNED_BYTE, scratchPixels);
    }

    currentBuffer = (currentBuffer + 1) % 2;
    __glewBindBuffer(GL_PIXEL_UNPACK_BUFFER_ARB, pixelBuffers[currentBuffer]);
    mapCurrentBuffer();

    // The back buffer's contents are undefined after a swap: clear the bars
    // every frame (glClear ignores the viewport).
    const bool bars = pictureArea.width != windowWidth || pictureArea.height != windowHeight;
    if (bars) glClear(GL_COLOR_BUFFER_BIT);
    // GL counts rows from the bottom.
    glViewport(pictureArea.x, windowHeight - pictureArea.y - pictureArea.height, pictureArea.width, pictureArea.height);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glTexCoord2f(0, 0);
    glVertex2f(0, 1);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 0);
    glTexCoord2f(0, 1);
    glVertex2f(0, 0);
    glEnd();

    glBindTexture(GL_TEXTURE_2D, 0);
    SDL_GL_SwapBuffers();
}

void setGLPictureArea(int width, int height, const PictureArea& area) {
    windowWidth = width;
    windowHeight = height;
    pictureArea = area;
    if (!textures[0]) return;  // not made yet: they take the filter when they are
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    for (GLuint texture : textures) {
        glBindTexture(GL_TEXTURE_2D, texture);
        setFilter();
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

uint32_t* framePixels() {
    if (mappedPixels) return static_cast<uint32_t*>(mappedPixels);
    if (!scratchPixels) {
        scratchPixels = static_cast<uint32_t*>(std::aligned_alloc(64, (textureBytes() + 63) / 64 * 64));
        if (!scratchPixels) return nullptr;  // the frame is then not drawn
        std::memset(scratchPixels, 0, textureBytes());
    }
    return scratchPixels;
}

bool frameBufferMapped() {
    return mappedPixels != nullptr;
}
