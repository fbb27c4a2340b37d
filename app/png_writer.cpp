#include "app/png_writer.h"

#include "app/image_writer.h"

bool writePng(const char* path, const uint32_t* pixels, int width, int height, int pitch, bool replace,
              std::string& error) {
    return writeStill(path, StillFormat::Png, pixels, width, height, pitch, replace, error);
}
