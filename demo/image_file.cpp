#include "demo/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "demo/bitmap.h"
#include "demo/png_layout.h"

namespace {

constexpr size_t maxImageFileBytes = size_t(1) << 30;

struct MemoryCloser {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};

// FreeImage says why a load failed through a global callback; keep the latest.
std::string lastMessage;
void rememberMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastMessage = message ? message : "";
}

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

// FreeImage's 32-bit conversion takes every standard bitmap and 16-bit RGB(A),
// but not 16-bit grey: that goes through 8-bit grey (its high byte) first.
FIBITMAP* convertTo32Bits(FIBITMAP* bitmap) {
    if (FreeImage_GetImageType(bitmap) != FIT_UINT16) return FreeImage_ConvertTo32Bits(bitmap);
    const Bitmap grey(FreeImage_ConvertTo8Bits(bitmap));
    return grey ? FreeImage_ConvertTo32Bits(grey.get()) : nullptr;
}

FIBITMAP* loadFrom(FIMEMORY* memory, FREE_IMAGE_FORMAT format, int flags) {
    FreeImage_SeekMemory(memory, 0, SEEK_SET);
    lastMessage.clear();
    FreeImage_SetOutputMessage(rememberMessage);
    return FreeImage_LoadFromMemory(format, memory, flags);
}

std::string saidOr(const std::string& otherwise) {
    return lastMessage.empty() ? otherwise : lastMessage;
}

}  // namespace

bool readImageFile(const std::string& path, std::string& bytes, std::string& why) {
    bytes.clear();
    // O_NONBLOCK: opening a pipe does not wait for a writer; fstat then refuses it.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool read = fstat(fd, &info) == 0;
    if (!read) why = std::strerror(errno);
    if (read && !S_ISREG(info.st_mode)) {
        why = "not a regular file";
        read = false;
    }
    if (read && static_cast<unsigned long long>(info.st_size) > maxImageFileBytes) {
        why = "larger than 1 GiB";
        read = false;
    }
    if (read) bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    while (read) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            why = std::strerror(errno);
            read = false;
        } else if (bytes.size() + static_cast<size_t>(n) > maxImageFileBytes) {
            why = "larger than 1 GiB";
            read = false;
        } else {
            bytes.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    if (!read) bytes.clear();
    return read;
}

bool decodeImage(const std::string& bytes, const std::string& name, int maxWidth, int maxHeight, Image& image,
                 std::string& why) {
    if (bytes.empty()) {
        why = "the file is empty";
        return false;
    }
    const std::unique_ptr<FIMEMORY, MemoryCloser> memory(
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size())));
    if (!memory) {
        why = "out of memory";
        return false;
    }
    FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(name.c_str());
    if (format == FIF_UNKNOWN) {
        why = "not an image of a kind FreeImage reads";
        return false;
    }
    unsigned pngWidth = 0, pngHeight = 0;
    if (format == FIF_PNG && !checkPngLayout(bytes, pngWidth, pngHeight, why)) return false;

    // The header alone first: a small file may declare an enormous picture.
    Bitmap header(loadFrom(memory.get(), format, FIF_LOAD_NOPIXELS));
    if (!header) {
        why = saidOr("its header cannot be read");
        return false;
    }
    const unsigned declaredWidth = FreeImage_GetWidth(header.get());
    const unsigned declaredHeight = FreeImage_GetHeight(header.get());
    header.reset();
    if (declaredWidth > static_cast<unsigned>(maxWidth) || declaredHeight > static_cast<unsigned>(maxHeight)) {
        why = std::to_string(declaredWidth) + " x " + std::to_string(declaredHeight) + " is larger than " +
              std::to_string(maxWidth) + " x " + std::to_string(maxHeight);
        return false;
    }

    Bitmap bitmap(loadFrom(memory.get(), format, 0));
    if (!bitmap) {
        why = saidOr("its pixels cannot be decoded");
        return false;
    }
    Bitmap converted(convertTo32Bits(bitmap.get()));
    bitmap.reset();
    if (!converted) {
        why = "FreeImage cannot turn its pixels into 8-bit colour";
        return false;
    }
    if (!takePixels(converted.get(), image)) {
        why = "out of memory";
        return false;
    }
    return true;
}

bool loadImage(const std::string& path, Image& image, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = "File not found: " + path;
        return false;
    }
    if (!S_ISREG(info.st_mode)) return refuse(path, "not a regular file", error);
    std::string bytes, why;
    if (!readImageFile(path, bytes, why) || !decodeImage(bytes, path, maxImageWidth, maxImageHeight, image, why))
        return refuse(path, why, error);
    return true;
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
