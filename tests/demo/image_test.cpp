#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "demo/image_file.h"
#include "demo/sprite.h"
#include "support/test_paths.h"

namespace {

uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string chunk(const std::string& type, const std::string& data) {
    return bigEndian(static_cast<uint32_t>(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A PNG that declares width x height but carries no picture data: a loader
// that decodes before it looks at the size would allocate the whole picture.
void writeHugePngHeader(const std::string& path, uint32_t width, uint32_t height) {
    const std::string header = bigEndian(width) + bigEndian(height) + std::string("\x08\x02\x00\x00\x00", 5);
    std::ofstream(path, std::ios::binary) << "\x89PNG\r\n\x1a\n"
                                          << chunk("IHDR", header) << chunk("IDAT", "x") << chunk("IEND", "");
}

}  // namespace

TEST(ImageLoading, UprightAlignedWithPitchEqualToWidth) {
    // 3 x 2: red, red, green over blue, grey, blue; a 24-bit file pads its rows to 12 bytes.
    const std::string path = scratchDir("image_upright") + "/marks.ppm";
    std::ofstream(path) << "P3 3 2 255\n255 0 0  255 0 0  0 255 0\n0 0 255  64 64 64  0 0 255\n";
    Image image;
    std::string error;
    ASSERT_TRUE(loadImage(path, image, error)) << error;
    const Surface& s = image.surface;
    ASSERT_NE(s.pixels, nullptr);
    EXPECT_EQ(s.width, 3);
    EXPECT_EQ(s.height, 2);
    EXPECT_EQ(s.pitch, 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s.pixels) % 64, 0u);
    const uint32_t expected[6] = {0xFF0000, 0xFF0000, 0x00FF00, 0x0000FF, 0x404040, 0x0000FF};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.pixels[i] & 0xFFFFFFu, expected[i]) << i;
    EXPECT_EQ(Sprite(&image.surface, 2).frameWidth, 1);  // 3 / 2, truncated
}

// Each bad file is an error to report, never an exit, a hang or a huge allocation.
TEST(ImageLoading, BadFilesAreRefusedWithTheirReason) {
    const std::string dir = scratchDir("image_bad");
    std::ofstream(dir + "/garbage.png") << "this is not a picture at all, only some text";
    std::ofstream(dir + "/empty.png");
    // A real title image cut short, and one with a few bytes of its pixel data changed.
    const std::string title = fileContents(sourceDir() + "/data/greek.png");
    ASSERT_GT(title.size(), 2000u);
    std::ofstream(dir + "/cut.png", std::ios::binary) << title.substr(0, 1000);
    std::string damaged = title;
    damaged[1500] = static_cast<char>(damaged[1500] ^ 1);
    std::ofstream(dir + "/damaged.png", std::ios::binary) << damaged;
    ASSERT_EQ(mkfifo((dir + "/fifo.png").c_str(), 0644), 0);
    writeHugePngHeader(dir + "/huge.png", 20000, 20000);
    writeHugePngHeader(dir + "/wide.png", maxImageWidth + 1, 1);
    struct Case {
        const char* name;
        std::string message;
    };
    const Case cases[] = {
        {"missing.png", "File not found: " + dir + "/missing.png"},
        {"garbage.png", "Cannot load image: " + dir + "/garbage.png (not a PNG file)"},
        {"empty.png", "Cannot load image: " + dir + "/empty.png (the file is empty)"},
        {"cut.png",
         "Cannot load image: " + dir + "/cut.png (cut short: the file ends at byte 1000, inside the IDAT chunk"},
        {"damaged.png", "Cannot load image: " + dir + "/damaged.png (damaged: its IDAT chunk at byte "},
        {"fifo.png", "Cannot load image: " + dir + "/fifo.png (not a regular file)"},
        {"huge.png", "Cannot load image: " + dir + "/huge.png (20000 x 20000 is larger than 4096 x 4096)"},
        {"wide.png", "Cannot load image: " + dir + "/wide.png (4097 x 1 is larger than 4096 x 4096)"},
        {"", "Cannot load image: " + dir + "/ (not a regular file)"},
    };
    for (const Case& c : cases) {
        Image image;
        std::string error;
        EXPECT_FALSE(loadImage(dir + "/" + c.name, image, error)) << c.name;
        // The chunk's place depends on the file: the cut and damaged ones are matched up to it.
        EXPECT_EQ(error.substr(0, c.message.size()), c.message);
        if (c.message.rfind("Cannot", 0) == 0) {
            EXPECT_EQ(error.back(), ')') << "every refusal says why: " << error;
        }
        EXPECT_EQ(image.storage, nullptr) << c.name;
    }
}
