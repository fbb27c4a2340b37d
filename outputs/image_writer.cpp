#include "outputs/image_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/output_file.h"
#include "demo/bitmap.h"

namespace {

// FreeImage reports through a global callback; keep the latest message.
thread_local std::string lastFreeImageMessage;

void rememberMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastFreeImageMessage = message ? message : "";
}

unsigned DLL_CALLCONV readProc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<FILE*>(handle)));
}
unsigned DLL_CALLCONV writeProc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(std::fwrite(buffer, size, count, static_cast<FILE*>(handle)));
}
int DLL_CALLCONV seekProc(fi_handle handle, long offset, int origin) {
    return std::fseek(static_cast<FILE*>(handle), offset, origin);
}
long DLL_CALLCONV tellProc(fi_handle handle) {
    return std::ftell(static_cast<FILE*>(handle));
}

std::string describeErrno(const std::string& what, const char* path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// JPEG at quality 95 without halving the colour: the titles' thin coloured
// edges stay clean. TIFF with LZW, which every reader knows. PNG at the
// fastest level: a capture writes thousands of them.
struct Encoding {
    FREE_IMAGE_FORMAT type;
    int flags;
};
Encoding encodingOf(StillFormat format) {
    switch (format) {
        case StillFormat::Jpeg: return {FIF_JPEG, 95 | JPEG_SUBSAMPLING_444 | JPEG_OPTIMIZE};
        case StillFormat::Tiff: return {FIF_TIFF, TIFF_LZW};
        case StillFormat::Exr: return {FIF_EXR, EXR_FLOAT | EXR_ZIP};
        case StillFormat::Png: break;
    }
    return {FIF_PNG, PNG_Z_BEST_SPEED};
}

// Encodes into a temporary of its own beside path and puts it in place once
// complete, so that a reader never sees half a file and two runs writing one
// name never mix their files.
bool saveInPlace(const char* path, FIBITMAP* bitmap, Encoding encoding, bool replace, std::string& error) {
    std::string temporary;
    const int fd = createTemporaryBeside(path, ".part", 0644, temporary, error);
    if (fd < 0) return false;
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        error = describeErrno("cannot write", path);
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    FreeImageIO io{readProc, writeProc, seekProc, tellProc};
    FreeImage_SetOutputMessage(rememberMessage);
    lastFreeImageMessage.clear();
    errno = 0;
    const bool encoded = FreeImage_SaveToHandle(encoding.type, bitmap, &io, file, encoding.flags) != FALSE;
    int failure = (!encoded || std::ferror(file)) ? (errno ? errno : EIO) : 0;
    if (std::fclose(file) != 0 && failure == 0) failure = errno ? errno : EIO;
    if (failure != 0) {
        errno = failure;
        if (!encoded && !lastFreeImageMessage.empty())
            error = "cannot write " + std::string(path) + ": " + lastFreeImageMessage;
        else
            error = describeErrno("cannot write", path);
        unlink(temporary.c_str());
        return false;
    }
    return putInPlace(temporary, path, replace, error);
}

bool allocate(const char* path, Bitmap& bitmap, FREE_IMAGE_TYPE type, int width, int height, int bpp,
              std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "cannot write " + std::string(path) + ": bad image size";
        return false;
    }
    bitmap.reset(FreeImage_AllocateT(type, width, height, bpp));
    if (!bitmap) error = "cannot write " + std::string(path) + ": out of memory";
    return bitmap != nullptr;
}

}  // namespace

bool stillFormatFor(const std::string& path, StillFormat& format, std::string& error) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png")
        format = StillFormat::Png;
    else if (extension == ".jpg" || extension == ".jpeg")
        format = StillFormat::Jpeg;
    else if (extension == ".tif" || extension == ".tiff")
        format = StillFormat::Tiff;
    else if (extension == ".exr")
        format = StillFormat::Exr;
    else {
        error = "cannot write " + path + ": name the still .png, .jpg, .tif or .exr";
        return false;
    }
    return true;
}

bool writeStill(const char* path, StillFormat format, const uint32_t* pixels, int width, int height, int pitch,
                bool replace, std::string& error) {
    if (format == StillFormat::Exr) {
        error = "cannot write " + std::string(path) + ": an EXR holds the light, not tone-mapped pixels";
        return false;
    }
    Bitmap bitmap;
    if (pitch < width) width = 0;  // refused below as a bad size
    if (!allocate(path, bitmap, FIT_BITMAP, width, height, 24, error)) return false;
    // FreeImage keeps scan line 0 at the bottom.
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * pitch;
        BYTE* dst = FreeImage_GetScanLine(bitmap.get(), height - 1 - y);
        for (int x = 0; x < width; ++x, dst += 3) {
            dst[FI_RGBA_RED] = static_cast<BYTE>(src[x] >> 16);
            dst[FI_RGBA_GREEN] = static_cast<BYTE>(src[x] >> 8);
            dst[FI_RGBA_BLUE] = static_cast<BYTE>(src[x]);
        }
    }
    return saveInPlace(path, bitmap.get(), encodingOf(format), replace, error);
}

bool writeExr(const char* path, const float* rgb, int width, int height, bool replace, std::string& error) {
    Bitmap bitmap;
    if (!allocate(path, bitmap, FIT_RGBF, width, height, 8 * sizeof(FIRGBF), error)) return false;
    for (int y = 0; y < height; ++y) {
        const float* src = rgb + static_cast<size_t>(y) * width * 3;
        auto* dst = reinterpret_cast<FIRGBF*>(FreeImage_GetScanLine(bitmap.get(), height - 1 - y));
        for (int x = 0; x < width; ++x, src += 3) dst[x] = FIRGBF{src[0], src[1], src[2]};
    }
    return saveInPlace(path, bitmap.get(), encodingOf(StillFormat::Exr), replace, error);
}
