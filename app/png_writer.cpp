#include "app/png_writer.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/output_file.h"

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

struct BitmapDeleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};

std::string describeErrno(const std::string& what, const char* path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool writePng(const char* path, const uint32_t* pixels, int width, int height, int pitch, std::string& error) {
    if (width <= 0 || height <= 0 || pitch < width) {
        error = "cannot write " + std::string(path) + ": bad image size";
        return false;
    }
    std::unique_ptr<FIBITMAP, BitmapDeleter> bitmap(FreeImage_Allocate(width, height, 24));
    if (!bitmap) {
        error = "cannot write " + std::string(path) + ": out of memory";
        return false;
    }
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

    // A fresh temporary: whatever a left-over name points at is never written through.
    const std::string temporary = std::string(path) + ".part";
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!file) {
        error = describeErrno("cannot write", path);
        if (fd >= 0) close(fd);
        return false;
    }
    FreeImageIO io{readProc, writeProc, seekProc, tellProc};
    FreeImage_SetOutputMessage(rememberMessage);
    lastFreeImageMessage.clear();
    errno = 0;
    const bool encoded = FreeImage_SaveToHandle(FIF_PNG, bitmap.get(), &io, file, PNG_Z_BEST_SPEED) != FALSE;
    int failure = (!encoded || std::ferror(file)) ? (errno ? errno : EIO) : 0;
    if (std::fclose(file) != 0 && failure == 0) failure = errno ? errno : EIO;
    if (failure != 0) {
        errno = failure;
        if (!encoded && !lastFreeImageMessage.empty())
            error = "cannot write " + std::string(path) + ": " + lastFreeImageMessage;
        else
            error = describeErrno("cannot write", path);
        std::remove(temporary.c_str());
        return false;
    }
    // The name may have become a link or a pipe while the file was written.
    if (!checkOutputFile(path, error)) {
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path) != 0) {
        error = describeErrno("cannot write", path);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
