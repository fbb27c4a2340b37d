#pragma once
// Writes 0x00RRGGBB pixels as an opaque 24-bit PNG.
#include <cstdint>
#include <string>

// pixels: row 0 is the top; pitch in pixels. The file appears under path only
// once it is complete (written under a temporary name of its own, then
// renamed), and never over anything but a regular file; without replace, over
// nothing at all. False with a one-line reason when the file cannot be
// written; nothing is left then.
bool writePng(const char* path, const uint32_t* pixels, int width, int height, int pitch, bool replace,
              std::string& error);
