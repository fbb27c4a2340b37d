// --stats FILE: whole lines as the frames come, and a failing write said once.
#include "live/frame_stats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_paths.h"
#include "support/check.h"

TEST(FrameStats, EachLineIsInTheFileAsSoonAsItIsAdded) {
    const std::string path = scratchDir("frame_stats_lines") + "/stats.txt";
    FrameStats stats;
    std::string error;
    ASSERT_TRUE(stats.open(path, error)) << error;
    // What a viewer following the file (tail -f) reads between frames.
    stats.add(12.5, 16.667, 32, 640, 480, 0.0);
    EXPECT_EQ(fileContents(path), "12.500 16.67 32 640x480 0.00\n");
    stats.add(12.517, 40.0, 1, 320, 240, 4.256);
    EXPECT_EQ(fileContents(path), "12.500 16.67 32 640x480 0.00\n12.517 40.00 1 320x240 4.26\n");
    testing::internal::CaptureStderr();
    stats.close();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A full disk is said once, through the program (tests/live/window_test.cpp).
TEST(FrameStats, NamesItCannotOrMustNotWriteAreRefused) {
    const std::string dir = scratchDir("frame_stats_refused");
    std::filesystem::create_directory(dir + "/folder");
    std::filesystem::create_symlink(dir + "/elsewhere.txt", dir + "/link.txt");
    const std::pair<std::string, std::string> refused[] = {
        {dir + "/folder", "it is a folder"},
        {dir + "/link.txt", "it is a symbolic link"},
        {dir + "/missing/stats.txt", "is missing or not writable"},
    };
    for (const auto& [path, why] : refused) {
        FrameStats stats;
        std::string error;
        EXPECT_FALSE(stats.open(path, error)) << path;
        EXPECT_TRUE(contains(error, "cannot write " + path));
        EXPECT_TRUE(contains(error, why));
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/elsewhere.txt")) << "written through the link";
}
