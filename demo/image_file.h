#pragma once
// Images loaded from files into 64-byte-aligned memory the image owns.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "demo/surface.h"

// No title image is larger than the screen it is drawn on; anything bigger is
// refused before its pixels are decoded.
constexpr int maxImageWidth = 4096;
constexpr int maxImageHeight = 4096;

struct Image {
    struct FreeAligned {
        void operator()(uint32_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint32_t[], FreeAligned> storage;
    Surface surface;  // views storage
};

// Loads an image file upright as 32-bit pixels. False with "File not found:
// <path>" or "Cannot load image: <path> (why)" when it cannot be used. Only
// regular files are read, so a FIFO or device cannot block or feed the loader.
bool loadImage(const std::string& path, Image& image, std::string& error);

// The whole of a regular file. It is opened so that a pipe or a device put
// under the name can neither block the reader nor feed it: false with why
// ("not a regular file", "larger than 1 GiB", or the system's reason).
bool readImageFile(const std::string& path, std::string& bytes, std::string& why);

// An image file's bytes decoded upright into 32-bit pixels, from any pixel type
// FreeImage turns into 8-bit colour (palettes, grey of 1 to 16 bits, 16-bit RGB
// and RGBA); name gives the format when the bytes do not tell it. A picture
// declaring more than maxWidth x maxHeight is refused before it is decoded.
// False with why: "the file is empty", how a PNG is cut short or damaged, or
// what FreeImage said.
bool decodeImage(const std::string& bytes, const std::string& name, int maxWidth, int maxHeight, Image& image,
                 std::string& why);

// The image resampled to width x height with a sharp cubic filter (for title
// images drawn on a picture larger or smaller than 640 x 480).
bool scaleImage(const Image& source, int width, int height, Image& scaled, std::string& error);
