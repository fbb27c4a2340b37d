// Title images on pictures of other heights: scaled only where the picture
// shows them, with the very pixels that scaling the whole image gives.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "demo/image_file.h"
#include "demo/overlays.h"
#include "demo/scaled_image_part.h"
#include "demo/sprite.h"
#include "demo/surface.h"
#include "support/test_demo.h"
#include "support/test_paths.h"

namespace {

Image randomImage(int width, int height, std::mt19937& random) {
    Image image;
    image.storage.reset(static_cast<uint32_t*>(std::aligned_alloc(64, (width * height * 4 + 63) / 64 * 64)));
    image.surface = Surface(width, height, image.storage.get(), width);
    for (int i = 0; i < width * height; ++i) image.storage[i] = random();  // alpha too: every byte is resampled
    return image;
}

Image showTitle(const char* name) {
    Image image;
    std::string error;
    EXPECT_TRUE(loadImage(sourceDir() + "/data/" + name, image, error)) << error;
    return image;
}

// The part's pixels against the same pixels of the whole image rescaled.
void expectPartOfWhole(const Image& source, int width, int height, const PixelRect& part) {
    SCOPED_TRACE(std::to_string(source.surface.width) + "x" + std::to_string(source.surface.height) + " to " +
                 std::to_string(width) + "x" + std::to_string(height) + ", part at " + std::to_string(part.x) + "," +
                 std::to_string(part.y) + " of " + std::to_string(part.width) + "x" + std::to_string(part.height));
    Image whole, scaled;
    std::string error;
    ASSERT_TRUE(scaleImage(source, width, height, whole, error)) << error;
    ASSERT_TRUE(scaleImagePart(source, width, height, part, scaled, error)) << error;
    ASSERT_EQ(scaled.surface.width, part.width);
    ASSERT_EQ(scaled.surface.height, part.height);
    int wrong = 0;
    for (int y = 0; y < part.height; ++y)
        for (int x = 0; x < part.width; ++x)
            wrong += scaled.surface.pixels[y * scaled.surface.pitch + x] !=
                     whole.surface.pixels[(part.y + y) * whole.surface.pitch + part.x + x];
    EXPECT_EQ(wrong, 0);
}

// A picture of the given size with the schedule's titles drawn at `seconds` over a dark fill.
std::vector<uint32_t> drawTitles(const std::array<const Sprite*, overlayCount>& sprites, int width, int height,
                                 float seconds) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0x00102030u);
    Surface picture(width, height, pixels.data(), width);
    drawDueOverlays(picture, seconds, sprites);
    return pixels;
}

// The show's titles on a picture of the given size.
DemoOptions titled(int width, int height) {
    DemoOptions options = quietDemoOptions();
    options.overlays = true;
    options.dataDir = sourceDir() + "/data";
    options.pictureWidth = width;
    options.pictureHeight = height;
    return options;
}

}  // namespace

// Enlarged, shrunk, one side alone, both; whole, corners, single pixels and
// strips. Random pixels catch any weight or rounding that differs; the show's
// titles are what the pictures carry.
TEST(ScaledImagePart, IsThatPartOfTheWholeImageRescaled) {
    std::mt19937 random(11);
    std::vector<Image> sources;
    sources.push_back(showTitle("greets.png"));
    sources.push_back(showTitle("re.png"));
    for (const auto& [w, h] : {std::pair{37, 23}, {1, 9}, {12, 1}, {64, 64}})
        sources.push_back(randomImage(w, h, random));
    for (const Image& source : sources) {
        const int w = source.surface.width, h = source.surface.height;
        const std::pair<int, int> sizes[] = {{w * 9 / 4, h * 9 / 4},
                                             {w * 3 / 10 + 1, h * 3 / 10 + 1},
                                             {w * 5, h},
                                             {w, h * 5 / 2},
                                             {w / 3 + 1, h * 2},
                                             {w * 2, h / 3 + 1},
                                             {w, h}};
        for (const auto& [width, height] : sizes) {
            expectPartOfWhole(source, width, height, {0, 0, width, height});
            expectPartOfWhole(source, width, height, {width - 1, height - 1, 1, 1});
            expectPartOfWhole(source, width, height, {width / 2, 0, 1, height});
            for (int k = 0; k < 3; ++k) {
                const int x = static_cast<int>(random() % width), y = static_cast<int>(random() % height);
                expectPartOfWhole(source, width, height,
                                  {x, y, 1 + static_cast<int>(random() % (width - x)),
                                   1 + static_cast<int>(random() % (height - y))});
            }
        }
    }
    Image scaled;
    std::string error;
    EXPECT_FALSE(scaleImagePart(sources[0], 100, 10, {95, 0, 6, 10}, scaled, error)) << "a part past the edge";
    EXPECT_FALSE(scaleImagePart(sources[0], 100, 10, {0, 0, 0, 10}, scaled, error)) << "an empty part";
}

// A tall narrow picture enlarges every title many times over while it shows a
// sliver of each: the titles hold only that sliver, and draw exactly the
// pixels the whole enlarged titles drew.
TEST(ScaledTitles, ANarrowPictureHoldsAndDrawsOnlyWhatItShows) {
    for (const auto& [width, height] : {std::pair{16, 1920}, {5, 1500}, {333, 777}, {2000, 20}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        TestDemo shown(titled(width, height));
        std::string error;

        // The whole titles, scaled and drawn as before there were parts.
        std::vector<Image> whole(overlayCount);
        std::vector<std::unique_ptr<Sprite>> wholeSprites;
        std::array<const Sprite*, overlayCount> reference{}, parts{};
        for (int i = 0; i < overlayCount; ++i) {
            const Image title = showTitle(overlayFileNames[i]);
            ASSERT_TRUE(scaleImage(title, overlaySide(title.surface.width, height),
                                   overlaySide(title.surface.height, height), whole[i], error))
                << error;
            wholeSprites.push_back(std::make_unique<Sprite>(&whole[i].surface, 1));
            reference[i] = wholeSprites.back().get();
            parts[i] = shown.demo.overlays[i].get();
            ASSERT_NE(parts[i], nullptr);
            EXPECT_EQ(parts[i]->frameWidth, whole[i].surface.width) << overlayFileNames[i] << ": placed as the whole";
            EXPECT_EQ(parts[i]->height, whole[i].surface.height) << overlayFileNames[i];
            EXPECT_LE(parts[i]->image->width, width) << overlayFileNames[i] << ": wider than the picture";
            EXPECT_LE(parts[i]->image->height, height) << overlayFileNames[i] << ": taller than the picture";
        }
        for (const float seconds : {1.25f, 6.0f, 13.0f, 15.0f, 86.0f, 92.0f})
            EXPECT_EQ(drawTitles(parts, width, height, seconds), drawTitles(reference, width, height, seconds))
                << "at " << seconds << " s";
    }
}

// The cost is that of the picture: at 16 x 16384 every title is enlarged about
// 34 times (the widest to over 21000 columns) and holds 16 of them.
TEST(ScaledTitles, TheTallestNarrowPictureScalesNoMoreThanItShows) {
    TestDemo shown(titled(16, 16384));
    for (int i = 0; i < overlayCount; ++i) {
        const Sprite& sprite = *shown.demo.overlays[i];
        EXPECT_GT(sprite.frameWidth, 16 * 30) << overlayFileNames[i];
        EXPECT_EQ(sprite.image->width, 16) << overlayFileNames[i];
        EXPECT_EQ(sprite.image->height, sprite.height) << overlayFileNames[i] << ": all its rows are on the picture";
        EXPECT_EQ(sprite.partX, (sprite.frameWidth - 16) / 2) << overlayFileNames[i] << ": the middle columns";
    }
}
