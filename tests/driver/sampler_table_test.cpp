#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "kernel/build_setting.h"
#include "render/sampler_table.h"

TEST(SamplerTable, EveryRunDrawsTheSameShuffledPermutationsOfTheStrata) {
    // An unseeded glibc rand() starts exactly where srand(1) puts it, so
    // resetting to 1 stands in for a fresh process.
    std::srand(1);
    testing::internal::CaptureStdout();
    const std::vector<unsigned char> table = buildSamplerTable();
    const int size = samplesPerFrame == 32 ? 768 : 1536, columns = samplerLevels * samplerChannels;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "sampler size: " + std::to_string(size) + "\n");
    ASSERT_EQ(static_cast<int>(table.size()), size);

    std::set<std::vector<int>> distinctColumns;
    for (int column = 0; column < columns; ++column) {
        std::vector<int> values;
        for (int s = 0; s < samplesPerFrame; ++s) values.push_back(table[s * columns + column]);
        distinctColumns.insert(values);
        std::set<int> strata(values.begin(), values.end());
        EXPECT_EQ(static_cast<int>(strata.size()), samplesPerFrame) << "column " << column;
        EXPECT_EQ(*strata.rbegin(), samplesPerFrame - 1) << "column " << column;
    }
    // Every column got its own shuffle (an unshuffled one would be 0, 1, 2, ...).
    EXPECT_EQ(static_cast<int>(distinctColumns.size()), columns);

    // The same table again, and 64 passes of one draw per byte leave the
    // generator exactly that far along.
    std::srand(1);
    for (int i = 0; i < 64 * size; ++i) std::rand();
    const int next = std::rand();
    std::srand(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildSamplerTable(), table);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::rand(), next);

    // A second call in one process, after other draws, builds the same table:
    // a second frame driver renders the frames the first one does.
    std::rand();
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildSamplerTable(), table);
    EXPECT_EQ(buildSamplerTable(), table);
    testing::internal::GetCapturedStdout();
}
