#include "demo/overlays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "app/surface.h"
#include "demo/sprite.h"

namespace {

// A solid image of the given size and colour, owned by the test.
struct SolidImage {
    std::vector<uint32_t> pixels;
    Surface surface;
    Sprite sprite;
    SolidImage(int w, int h, uint32_t colour)
        : pixels(static_cast<size_t>(w) * h, colour), surface(w, h, pixels.data(), w), sprite(&surface, 1) {}
};

// A 640 x 480 display filled with one colour.
struct Display {
    std::vector<uint32_t> pixels;
    Surface surface;
    explicit Display(uint32_t fill = 0) : pixels(640 * 480, fill), surface(640, 480, pixels.data(), 640) {}
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * 640 + x]; }
    // Rows that differ from the fill, with the value of their centre pixel.
    std::map<int, uint32_t> changedRows(uint32_t fill = 0) const {
        std::map<int, uint32_t> rows;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (at(x, y) != fill) {
                    rows[y] = at(320, y);
                    break;
                }
        return rows;
    }
};

// Eight white 8 x 1 images, one per overlay.
struct OverlaySet {
    std::vector<SolidImage> images;
    Sprite* sprites[overlayCount];
    OverlaySet() {
        images.reserve(overlayCount);
        for (int i = 0; i < overlayCount; ++i) images.emplace_back(8, 1, 0x00FFFFFFu);
        for (int i = 0; i < overlayCount; ++i) sprites[i] = &images[i].sprite;
    }
};

std::map<int, uint32_t> drawnAt(float t) {
    OverlaySet set;
    Display display;
    drawDueOverlays(display.surface, t, set.sprites);
    return display.changedRows();
}

}  // namespace

TEST(OverlayFade, HalfSecondRampsAtEachEnd) {
    EXPECT_EQ(overlayFadeFactor(0.0f, 0.0f, 8.0f), 0);
    EXPECT_EQ(overlayFadeFactor(1.25f, 1.0f, 8.0f), 127);
    // f = 255 is not below 255, and the fade-out has not begun.
    EXPECT_EQ(overlayFadeFactor(1.5f, 1.0f, 8.0f), overlayFullStrength);
    EXPECT_EQ(overlayFadeFactor(7.75f, 4.0f, 8.0f), 127);
    EXPECT_EQ(overlayFadeFactor(7.75f, 0.0f, 8.0f), 127);
    // The largest faded factor is 254, just before full strength.
    EXPECT_EQ(overlayFadeFactor(1.0f + 254.5f / 510.0f, 1.0f, 8.0f), 254);
    EXPECT_EQ(overlayFadeFactor(8.0f - 254.5f / 510.0f, 1.0f, 8.0f), 254);
    // Outside the window the factor never goes negative.
    EXPECT_EQ(overlayFadeFactor(0.5f, 1.0f, 8.0f), 0);
    EXPECT_EQ(overlayFadeFactor(9.0f, 1.0f, 8.0f), 0);
}

TEST(OverlayPixels, ScaleThenSaturatePerChannel) {
    EXPECT_EQ(scalePixel(0xFF808080u, 127), 0x003F3F3Fu);  // truncated, alpha dropped
    // Red 200 + 100 saturates; green and blue add normally.
    EXPECT_EQ(addPixelSaturated(0x00C81020u, 0x00640203u), 0x00FF1223u);
    EXPECT_EQ(addPixelSaturated(0x0010C820u, 0x00026403u), 0x0012FF23u);
    EXPECT_EQ(addPixelSaturated(0x001020C8u, 0x00020364u), 0x001223FFu);
    // All three at once, and a sum of exactly 255 stays 255 without spilling.
    EXPECT_EQ(addPixelSaturated(0x00FFFFFFu, 0x00FFFFFFu), 0x00FFFFFFu);
    EXPECT_EQ(addPixelSaturated(0x00F00F80u, 0x000FF07Fu), 0x00FFFFFFu);
    // Black leaves the picture unchanged (apart from the top byte, which is cleared).
    EXPECT_EQ(addPixelSaturated(0x00123456u, 0u), 0x00123456u);
}

TEST(OverlaySchedule, WindowsAreStrict) {
    for (const OverlayCue& cue : overlaySchedule) {
        SCOPED_TRACE(overlayFileNames[cue.sprite]);
        EXPECT_FALSE(overlayDue(cue, cue.end));
        EXPECT_TRUE(overlayDue(cue, std::nextafter(cue.end, 0.0f)));
        EXPECT_TRUE(overlayDue(cue, std::nextafter(cue.start, 1000.0f)));
        EXPECT_EQ(overlayDue(cue, cue.start), cue.sprite == reOverlayId);
    }
}

TEST(OverlaySchedule, WhatIsDrawnWhen) {
    // t = 0: only the "re" image, with factor 0: the picture stays as it was.
    {
        OverlaySet set;
        Display display(0x00102030u);
        drawDueOverlays(display.surface, 0.0f, set.sprites);
        EXPECT_TRUE(display.changedRows(0x00102030u).empty());
    }
    using Rows = std::map<int, uint32_t>;
    // 126 = 255 * 127 >> 8.
    EXPECT_EQ(drawnAt(1.25f), (Rows{{40, 0x7E7E7Eu}, {400, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(1.5f), (Rows{{40, 0xFFFFFFu}, {400, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(7.75f), (Rows{{40, 0x7E7E7Eu}, {100, 0x7E7E7Eu}, {400, 0x7E7E7Eu}}));
    EXPECT_TRUE(drawnAt(10.0f).empty());
    EXPECT_TRUE(drawnAt(12.0f).empty());
    EXPECT_EQ(drawnAt(15.0f), (Rows{{100, 0xFFFFFFu}, {150, 0xFFFFFFu}, {250, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(86.0f), (Rows{{250, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(92.0f), (Rows{{250, 0xFFFFFFu}}));
    EXPECT_TRUE(drawnAt(95.0f).empty());
}

TEST(OverlayBlend, ClipsToTheSurface) {
    // A 64 x 32 surface inside guard memory; the image is 100 x 50, each pixel
    // encoding its own column and row.
    constexpr uint32_t guard = 0xDEADBEEFu;
    constexpr int pitch = 80, guardRows = 4, guardColumns = 8;
    std::vector<uint32_t> memory(static_cast<size_t>(pitch) * (32 + 2 * guardRows), guard);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) memory[static_cast<size_t>(y + guardRows) * pitch + x + guardColumns] = 0;
    Surface display(64, 32, memory.data() + guardRows * pitch + guardColumns, pitch);

    std::vector<uint32_t> pixels(100 * 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) pixels[static_cast<size_t>(y) * 100 + x] = static_cast<uint32_t>(x | y << 8);
    Surface imageSurface(100, 50, pixels.data(), 100);
    Sprite sprite(&imageSurface, 1);

    auto expectGuardIntact = [&] {
        for (int y = 0; y < 32 + 2 * guardRows; ++y)
            for (int x = 0; x < pitch; ++x) {
                bool inside = y >= guardRows && y < guardRows + 32 && x >= guardColumns && x < guardColumns + 64;
                if (!inside) {
                    ASSERT_EQ(memory[static_cast<size_t>(y) * pitch + x], guard) << x << "," << y;
                }
            }
    };

    blendOverlay(display, 4.0f, 0.0f, 8.0f, sprite, 10);
    expectGuardIntact();
    // Left edge (64 - 100) / 2 = -18: surface column 0 shows image column 18.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            uint32_t expected = y < 10 ? 0u : static_cast<uint32_t>((x + 18) | (y - 10) << 8);
            ASSERT_EQ(display.pixels[y * pitch + x], expected) << x << "," << y;
        }

    // Above the top: only the image's lower rows land.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) display.pixels[y * pitch + x] = 0;
    blendOverlay(display, 4.0f, 0.0f, 8.0f, sprite, -45);
    expectGuardIntact();
    EXPECT_EQ(display.pixels[0], static_cast<uint32_t>(18 | 45 << 8));
    EXPECT_EQ(display.pixels[4 * pitch + 63], static_cast<uint32_t>(81 | 49 << 8));
    EXPECT_EQ(display.pixels[5 * pitch], 0u);

    // Entirely below the surface: nothing at all.
    blendOverlay(display, 4.0f, 0.0f, 8.0f, sprite, 32);
    expectGuardIntact();
}

TEST(CopyFrame, CopiesRowsAtThePitch) {
    std::vector<uint32_t> frame(640 * 480);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFFu;
    constexpr int pitch = 700;
    std::vector<uint32_t> memory(static_cast<size_t>(pitch) * 480, 0xABCDEFu);
    Surface display(640, 480, memory.data(), pitch);

    copyFrame(display, nullptr);
    EXPECT_EQ(memory[0], 0xABCDEFu);

    copyFrame(display, frame.data());
    for (int y = 0; y < 480; ++y) {
        ASSERT_EQ(0,
                  std::memcmp(&memory[static_cast<size_t>(y) * pitch], &frame[static_cast<size_t>(y) * 640], 640 * 4))
            << "row " << y;
        ASSERT_EQ(memory[static_cast<size_t>(y) * pitch + 640], 0xABCDEFu);
        ASSERT_EQ(memory[static_cast<size_t>(y) * pitch + pitch - 1], 0xABCDEFu);
    }
}
