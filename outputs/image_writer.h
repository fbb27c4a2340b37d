#pragma once
// Writes stills as PNG, JPEG, TIFF (8 bits per channel, opaque) or OpenEXR
// (32-bit float light). Every writer puts the file under its name only once it
// is complete (written under a temporary name of its own, then renamed), never
// over anything but a regular file, and leaves nothing behind when it fails.
// Without replace it puts nothing over a file that is there, even one that
// appeared while it was writing; with replace it takes the place of a regular
// file.
#include <cstdint>
#include <string>

enum class StillFormat { Png, Jpeg, Tiff, Exr };

// The format a still's name asks for, from its extension in any case: .png,
// .jpg/.jpeg, .tif/.tiff, .exr. False with a one-line reason for any other
// name, so that no file ever holds another format than its name says.
bool stillFormatFor(const std::string& path, StillFormat& format, std::string& error);

// 0x00RRGGBB pixels, row 0 at the top, pitch in pixels, as PNG, JPEG or TIFF.
bool writeStill(const char* path, StillFormat format, const uint32_t* pixels, int width, int height, int pitch,
                bool replace, std::string& error);

// Linear RGB light, 3 floats per pixel, row 0 at the top, as an OpenEXR file of
// 32-bit floats (ZIP-compressed, so it reloads exactly).
bool writeExr(const char* path, const float* rgb, int width, int height, bool replace, std::string& error);
