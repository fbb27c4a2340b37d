#pragma once
#include <vector>

// samplesPerFrame x samplerLevels x samplerChannels stratum numbers, byte (s, b, j)
// at (s * 8 + b) * 3 + j; every (b, j) column is a permutation of 0..samplesPerFrame-1.
// Shuffled with the C library's rand() from where an unseeded one starts, so every
// run, and every call, builds the same table. Prints "sampler size: %i\n".
std::vector<unsigned char> buildSamplerTable();
