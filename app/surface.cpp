#include "app/surface.h"

#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/fatal_error.h"

namespace {

[[noreturn]] void failOn(const char* what, const char* path) {
    std::string text = std::string(what) + path;
    fatalError(text.c_str());
}

}  // namespace

Surface::Surface(const char* path) {
    std::FILE* probe = std::fopen(path, "rb");
    if (!probe) failOn("File not found: ", path);
    std::fclose(probe);

    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path, 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path);
    FIBITMAP* bitmap = format == FIF_UNKNOWN ? nullptr : FreeImage_Load(format, path, 0);
    if (!bitmap) failOn("Cannot load image: ", path);
    FIBITMAP* converted = FreeImage_ConvertTo32Bits(bitmap);
    FreeImage_Unload(bitmap);
    if (!converted) failOn("Cannot load image: ", path);

    width = pitch = static_cast<int>(FreeImage_GetWidth(converted));
    height = static_cast<int>(FreeImage_GetHeight(converted));
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    // aligned_alloc wants a size that is a multiple of the alignment.
    const size_t bytes = (rowBytes * height + 63) / 64 * 64;
    pixels = static_cast<uint32_t*>(std::aligned_alloc(64, bytes == 0 ? 64 : bytes));
    if (!pixels) failOn("Out of memory loading image: ", path);

    // FreeImage keeps the bottom row first; store the picture upright.
    for (int i = 0; i < height; ++i)
        std::memcpy(pixels + static_cast<size_t>(i) * pitch, FreeImage_GetScanLine(converted, height - 1 - i),
                    rowBytes);
    FreeImage_Unload(converted);
}
