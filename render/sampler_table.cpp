#include "render/sampler_table.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "kernel/build_setting.h"

namespace {

constexpr int shufflePasses = 64;

int samplerOffset(int s, int b, int j) {
    return (s * samplerLevels + b) * samplerChannels + j;
}

}  // namespace

std::vector<unsigned char> buildSamplerTable() {
    const int size = samplesPerFrame * samplerLevels * samplerChannels;
    std::vector<unsigned char> table(size);
    for (int s = 0; s < samplesPerFrame; ++s)
        for (int b = 0; b < samplerLevels; ++b)
            for (int j = 0; j < samplerChannels; ++j) table[samplerOffset(s, b, j)] = static_cast<unsigned char>(s);

    // Only the sample dimension is shuffled, so every (b, j) column stays a
    // permutation. rand() starts where an unseeded one starts (srand(1)), so
    // every run of one build gets the same table, and so does every later call
    // in one process (a second frame driver, a second demo), whatever else
    // drew from rand() in between; the draw order (j innermost) fixes which one.
    std::srand(1);
    for (int pass = 0; pass < shufflePasses; ++pass)
        for (int s = 0; s < samplesPerFrame; ++s)
            for (int b = 0; b < samplerLevels; ++b)
                for (int j = 0; j < samplerChannels; ++j) {
                    const int r = std::rand() % samplesPerFrame;
                    std::swap(table[samplerOffset(s, b, j)], table[samplerOffset(r, b, j)]);
                }

    std::printf("sampler size: %i\n", size);
    return table;
}
