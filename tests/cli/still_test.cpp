// The headless still, end to end through the real program.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint32_t> loadRgb(const std::string& path, int& width, int& height) {
    std::vector<uint32_t> pixels;
    FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, path.c_str(), 0);
    if (!bitmap) return pixels;
    FIBITMAP* rgba = FreeImage_ConvertTo32Bits(bitmap);
    width = static_cast<int>(FreeImage_GetWidth(rgba));
    height = static_cast<int>(FreeImage_GetHeight(rgba));
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(rgba, y));
        for (int x = 0; x < width; ++x) pixels.push_back(row[x] & 0xFFFFFFu);
    }
    FreeImage_Unload(rgba);
    FreeImage_Unload(bitmap);
    return pixels;
}

ProgramResult still(const std::string& dir, std::vector<std::string> extra) {
    std::vector<std::string> args = {programPath(), "--backend", "cpu"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runProgram(args, {}, dir);
}

TEST(Still, RendersAPlausibleDeterministicFrame) {
    const std::string dir = scratchDir("still_frame");
    ProgramResult a = still(dir, {"--still", "14", "--dt", "40", "--no-overlays", "--out", "a.png"});
    ASSERT_EQ(a.exitCode, 0) << a.output;
    ProgramResult b = still(dir, {"--still", "14", "--dt", "40", "--no-overlays", "--out", "b.png", "--threads", "1"});
    ASSERT_EQ(b.exitCode, 0) << b.output;

    int w = 0, h = 0;
    std::vector<uint32_t> first = loadRgb(dir + "/a.png", w, h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    int w2 = 0, h2 = 0;
    EXPECT_EQ(first, loadRgb(dir + "/b.png", w2, h2)) << "two CPU renders of one tick differ";

    // A lit scene: mostly not black, not saturated, with many distinct colours.
    std::set<uint32_t> colours(first.begin(), first.end());
    size_t black = 0, white = 0;
    for (uint32_t p : first) {
        black += p == 0;
        white += p == 0xFFFFFFu;
    }
    EXPECT_GT(colours.size(), 1000u);
    EXPECT_LT(black, first.size() / 4);
    EXPECT_LT(white, first.size() / 4);
}

TEST(Still, TheMomentChangesThePicture) {
    const std::string dir = scratchDir("still_moments");
    ASSERT_EQ(still(dir, {"--still", "14", "--dt", "40", "--no-overlays", "--out", "a.png"}).exitCode, 0);
    ASSERT_EQ(still(dir, {"--still", "99", "--dt", "40", "--no-overlays", "--out", "b.png"}).exitCode, 0);
    int w = 0, h = 0;
    EXPECT_NE(loadRgb(dir + "/a.png", w, h), loadRgb(dir + "/b.png", w, h));
}

TEST(Still, RefusesBadRequestsWithoutWritingAFile) {
    const std::string dir = scratchDir("still_refused");
    const std::vector<std::vector<std::string>> bad = {
        {"--still", "-1", "--out", "x.png"},
        {"--still", "5", "--dt", "0", "--out", "x.png"},
        {"--still", "5", "--out", "missing/folder/x.png"},
        {"--still", "5", "--out", "."},
        {"--still", "5", "--frobnicate", "--out", "x.png"},
    };
    for (const auto& args : bad) {
        ProgramResult r = still(dir, args);
        EXPECT_NE(r.exitCode, 0) << args[1] << " " << args[2];
        EXPECT_FALSE(r.output.empty());
    }
    EXPECT_TRUE(fs::is_empty(dir)) << "a refused still left files behind";
}

}  // namespace
