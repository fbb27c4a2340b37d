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
// <path>" or "Cannot load image: <path>[ (why)]" when it cannot be used. Only
// regular files are opened, so a FIFO or device cannot block or feed the loader.
bool loadImage(const std::string& path, Image& image, std::string& error);

// The image resampled to width x height with a sharp cubic filter (for title
// images drawn on a picture larger or smaller than 640 x 480).
bool scaleImage(const Image& source, int width, int height, Image& scaled, std::string& error);
