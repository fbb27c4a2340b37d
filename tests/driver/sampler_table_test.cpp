#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "scene/build_setting.h"
#include "scene/sampler_table.h"

// An unseeded glibc rand() starts exactly where srand(1) puts it, so resetting
// to 1 stands in for a fresh process.
static std::vector<unsigned char> freshRunTable(std::string* console = nullptr) {
    std::srand(1);
    testing::internal::CaptureStdout();
    std::vector<unsigned char> table = buildSamplerTable();
    const std::string printed = testing::internal::GetCapturedStdout();
    if (console) *console = printed;
    return table;
}

TEST(SamplerTable, ColumnsAreShuffledPermutationsOfTheStrata) {
    std::string console;
    const std::vector<unsigned char> table = freshRunTable(&console);
    const int size = samplesPerFrame == 32 ? 768 : 1536;
    ASSERT_EQ(static_cast<int>(table.size()), size);
    EXPECT_EQ(console, "sampler size: " + std::to_string(size) + "\n");

    std::set<std::vector<int>> distinctColumns;
    for (int column = 0; column < samplerLevels * samplerChannels; ++column) {
        std::vector<int> values;
        for (int s = 0; s < samplesPerFrame; ++s) values.push_back(table[s * samplerLevels * samplerChannels + column]);
        distinctColumns.insert(values);
        std::set<int> strata(values.begin(), values.end());
        EXPECT_EQ(static_cast<int>(strata.size()), samplesPerFrame) << "column " << column;
        EXPECT_EQ(*strata.rbegin(), samplesPerFrame - 1) << "column " << column;
    }
    // Every column got its own shuffle (an unshuffled one would be 0, 1, 2, ...).
    EXPECT_EQ(static_cast<int>(distinctColumns.size()), samplerLevels * samplerChannels);
}

TEST(SamplerTable, EveryRunDrawsTheSameTable) {
    EXPECT_EQ(freshRunTable(), freshRunTable());

    // 64 passes, one draw per byte: the generator ends up exactly that far along.
    std::srand(1);
    for (int i = 0; i < 64 * samplesPerFrame * samplerLevels * samplerChannels; ++i) std::rand();
    const int next = std::rand();
    freshRunTable();
    EXPECT_EQ(std::rand(), next);
}
