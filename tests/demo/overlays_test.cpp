#include "demo/overlays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "demo/surface.h"
#include "demo/sprite.h"

TEST(OverlayFade, HalfSecondRampsAtEachEnd) {
    // {t, start, end, factor}; never negative outside the window.
    for (auto [t, start, end, factor] : {std::tuple{0.0f, 0.0f, 8.0f, 0},
                                         {1.25f, 1.0f, 8.0f, 127},
                                         {1.5f, 1.0f, 8.0f, overlayFullStrength},
                                         {7.75f, 4.0f, 8.0f, 127},
                                         {7.75f, 0.0f, 8.0f, 127},
                                         {0.5f, 1.0f, 8.0f, 0},
                                         {9.0f, 1.0f, 8.0f, 0}})
        EXPECT_EQ(overlayFadeFactor(t, start, end), factor) << t << " in " << start << ".." << end;
}

TEST(OverlayPixels, ScaleThenSaturateEachChannelAlone) {
    EXPECT_EQ(scalePixel(0xFF808080u, 127), 0x003F3F3Fu);  // truncated, alpha dropped
    // 200 + 100 saturates in each channel in turn; the other two add normally.
    EXPECT_EQ(addPixelSaturated(0x00C81020u, 0x00640203u), 0x00FF1223u);
    EXPECT_EQ(addPixelSaturated(0x0010C820u, 0x00026403u), 0x0012FF23u);
    EXPECT_EQ(addPixelSaturated(0x001020C8u, 0x00020364u), 0x001223FFu);
    EXPECT_EQ(addPixelSaturated(0x00F00F80u, 0x000FF07Fu), 0x00FFFFFFu);  // exactly 255 does not spill
}

TEST(OverlaySchedule, StrictWindowsAndWhatIsDrawnWhen) {
    for (const OverlayCue& cue : overlaySchedule) {
        SCOPED_TRACE(overlayFileNames[cue.sprite]);
        EXPECT_FALSE(overlayDue(cue, cue.end));
        EXPECT_TRUE(overlayDue(cue, std::nextafter(cue.end, 0.0f)));
        EXPECT_TRUE(overlayDue(cue, std::nextafter(cue.start, 1000.0f)));
        EXPECT_EQ(overlayDue(cue, cue.start), cue.sprite == reOverlayId);
    }
    // White 8 x 1 images over a dark picture; the rows that changed, with their centre pixel.
    std::vector<uint32_t> white(8, 0x00FFFFFFu);
    Surface image(8, 1, white.data(), 8);
    Sprite sprite(&image, 1);
    OverlaySprites sprites;
    sprites.fill(&sprite);
    using Rows = std::map<int, uint32_t>;
    auto drawnAt = [&](float t) {
        std::vector<uint32_t> pixels(640 * 480, 0x00102030u);
        Surface display(640, 480, pixels.data(), 640);
        drawDueOverlays(display, t, sprites);
        Rows rows;
        for (size_t i = 0; i < pixels.size(); ++i)
            if (pixels[i] != 0x00102030u) rows.emplace(static_cast<int>(i / 640), pixels[i / 640 * 640 + 320]);
        return rows;
    };
    EXPECT_TRUE(drawnAt(0.0f).empty());  // only the "re" image, at factor 0
    // 0x7E = 255 * 127 >> 8 on top of the picture.
    EXPECT_EQ(drawnAt(1.25f), (Rows{{40, 0x8E9EAEu}, {400, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(1.5f), (Rows{{40, 0xFFFFFFu}, {400, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(7.75f), (Rows{{40, 0x8E9EAEu}, {100, 0x8E9EAEu}, {400, 0x8E9EAEu}}));
    EXPECT_TRUE(drawnAt(10.0f).empty());
    EXPECT_TRUE(drawnAt(12.0f).empty());
    EXPECT_EQ(drawnAt(15.0f), (Rows{{100, 0xFFFFFFu}, {150, 0xFFFFFFu}, {250, 0xFFFFFFu}}));
    EXPECT_EQ(drawnAt(92.0f), (Rows{{250, 0xFFFFFFu}}));
    EXPECT_TRUE(drawnAt(95.0f).empty());
}

TEST(OverlayBlend, ClipsAnOversizedImageToTheSurface) {
    // A 64 x 32 surface at (8, 4) in 80 x 40 of guard memory; each pixel of the
    // 100 x 50 image holds its own column and row.
    constexpr uint32_t guard = 0xDEADBEEFu;
    std::vector<uint32_t> memory(80 * 40, guard), pixels(100 * 50);
    Surface display(64, 32, memory.data() + 4 * 80 + 8, 80);
    for (int i = 0; i < 100 * 50; ++i) pixels[i] = static_cast<uint32_t>(i % 100 | i / 100 << 8);
    Surface image(100, 50, pixels.data(), 100);
    Sprite sprite(&image, 1);
    // Centred, the left edge is (64 - 100) / 2 = -18. Rows: inside, above the top, wholly below.
    for (int row : {10, -45, 32}) {
        SCOPED_TRACE(row);
        for (int y = 0; y < 32; ++y) std::fill_n(display.pixels + y * 80, 64, 0u);
        blendOverlay(display, 4.0f, 0.0f, 8.0f, sprite, row);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 80; ++x) {
                const int sx = x - 8 + 18, sy = y - 4 - row;
                const bool inside = x >= 8 && x < 72 && y >= 4 && y < 36;
                const uint32_t expected = !inside              ? guard
                                          : sy >= 0 && sy < 50 ? static_cast<uint32_t>(sx | sy << 8)
                                                               : 0u;
                ASSERT_EQ(memory[y * 80 + x], expected) << x << "," << y;
            }
    }
}

// A sprite holding only a part of its image draws as the whole would where the
// picture shows it: tests/demo/scaled_titles_test.cpp, on the show's titles.
TEST(OverlayScaling, SidesFollowThePictureHeight) {
    EXPECT_EQ(overlaySide(620, 480), 620);
    EXPECT_EQ(overlaySide(620, 16384), 21163);  // 620 * 16384 / 480 = 21162.67
    EXPECT_EQ(overlaySide(48, 16), 2);          // 1.6
    EXPECT_EQ(overlaySide(1, 16), 1);           // never less than a pixel
}
