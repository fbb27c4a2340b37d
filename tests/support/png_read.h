#pragma once
#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

// A PNG as top-down 0xAARRGGBB words (empty when it cannot be read), and the
// bits per pixel the file itself stores.
inline std::vector<uint32_t> readPng(const std::string& path, int& width, int& height, unsigned* bpp = nullptr) {
    std::vector<uint32_t> pixels;
    FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, path.c_str(), 0);
    if (!bitmap) return pixels;
    if (bpp) *bpp = FreeImage_GetBPP(bitmap);
    FIBITMAP* wide = FreeImage_ConvertTo32Bits(bitmap);
    width = static_cast<int>(FreeImage_GetWidth(wide));
    height = static_cast<int>(FreeImage_GetHeight(wide));
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(wide, y));
        pixels.insert(pixels.end(), row, row + width);
    }
    FreeImage_Unload(wide);
    FreeImage_Unload(bitmap);
    return pixels;
}
