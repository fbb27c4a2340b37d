#pragma once
// The image library's bitmaps, owned: every image read or written goes through
// FreeImage, and a bitmap held here is unloaded whichever way its scope ends.
#include <FreeImage.h>

#include <memory>

struct BitmapDeleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;
