#pragma once
// The one build setting that tells the two deliverables apart.
#ifndef TPL_SAMPLES_PER_FRAME
#error "TPL_SAMPLES_PER_FRAME must be set by the build (32 or 64)"
#endif

constexpr int samplesPerFrame = TPL_SAMPLES_PER_FRAME;
constexpr int samplerLevels = 8;
constexpr int samplerChannels = 3;
static_assert(samplesPerFrame == 32 || samplesPerFrame == 64, "the demo ships 32 and 64 samples per frame");
