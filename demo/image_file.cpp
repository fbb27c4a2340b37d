#include "demo/image_file.h"

#include <sys/stat.h>

#include <cstring>

#include "demo/bitmap.h"

namespace {

bool refuse(const std::string& path, const std::string& why, std::string& error) {
    error = "Cannot load image: " + path + (why.empty() ? "" : " (" + why + ")");
    return false;
}

// Upright 32-bit rows of a bitmap into aligned storage the image owns.
bool takePixels(FIBITMAP* bitmap, Image& image) {
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    // aligned_alloc wants a size that is a multiple of the alignment.
    const size_t bytes = (rowBytes * height + 63) / 64 * 64;
    image.storage.reset(static_cast<uint32_t*>(std::aligned_alloc(64, bytes == 0 ? 64 : bytes)));
    if (!image.storage) return false;
    image.surface = Surface(width, height, image.storage.get(), width);
    // FreeImage keeps the bottom row first.
    for (int i = 0; i < height; ++i)
        std::memcpy(image.storage.get() + static_cast<size_t>(i) * width, FreeImage_GetScanLine(bitmap, height - 1 - i),
                    rowBytes);
    return true;
}

}  // namespace

bool loadImage(const std::string& path, Image& image, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = "File not found: " + path;
        return false;
    }
    if (!S_ISREG(info.st_mode)) return refuse(path, "not a regular file", error);

    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
    if (format == FIF_UNKNOWN) return refuse(path, "", error);

    // The header alone first: a small file may declare an enormous picture.
    Bitmap header(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
    if (!header) return refuse(path, "", error);
    const unsigned declaredWidth = FreeImage_GetWidth(header.get());
    const unsigned declaredHeight = FreeImage_GetHeight(header.get());
    header.reset();
    if (declaredWidth > static_cast<unsigned>(maxImageWidth) || declaredHeight > static_cast<unsigned>(maxImageHeight))
        return refuse(path,
                      std::to_string(declaredWidth) + " x " + std::to_string(declaredHeight) + " is larger than " +
                          std::to_string(maxImageWidth) + " x " + std::to_string(maxImageHeight),
                      error);

    Bitmap bitmap(FreeImage_Load(format, path.c_str(), 0));
    if (!bitmap) return refuse(path, "", error);
    Bitmap converted(FreeImage_ConvertTo32Bits(bitmap.get()));
    bitmap.reset();
    if (!converted) return refuse(path, "", error);

    return takePixels(converted.get(), image) || refuse(path, "out of memory", error);
}

bool scaleImage(const Image& source, int width, int height, Image& scaled, std::string& error) {
    const Surface& s = source.surface;
    if (!s.pixels || width <= 0 || height <= 0) {
        error = "cannot scale an empty image";
        return false;
    }
    // Our rows run top-down (the last argument); takePixels turns FreeImage's bottom-up rows back.
    Bitmap bitmap(FreeImage_ConvertFromRawBits(reinterpret_cast<BYTE*>(s.pixels), s.width, s.height, s.pitch * 4, 32,
                                               FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, TRUE));
    // Catmull-Rom: sharp edges on the lettering without the ringing of Lanczos.
    Bitmap resized(bitmap ? FreeImage_Rescale(bitmap.get(), width, height, FILTER_CATMULLROM) : nullptr);
    if (!resized || !takePixels(resized.get(), scaled)) {
        error = "cannot scale an image to " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    return true;
}
