#pragma once
// Per-pixel random generator: the four generators of the KISS family, kept in
// their stored (shifted and masked) forms and combined as (high + low) ^ (cong + shift).
// The stored forms matter: they fix every pixel's sequence, so the picture's
// noise is the same wherever the tracer runs.
#include <cstdint>

#include "kernel/host_device.h"

struct PixelRng {
    uint32_t mwcHigh;
    uint32_t mwcLow;
    uint32_t congState;
    uint32_t shiftState;
};

// Seeds from the (permuted) pixel index and the frame counter; all arithmetic wraps.
TPL_HD PixelRng seedPixelRng(int p, int pass) {
    const uint32_t up = static_cast<uint32_t>(p);
    const uint32_t upass = static_cast<uint32_t>(pass);
    PixelRng rng;
    rng.congState = 426998u * upass + 12872141u;
    rng.shiftState = 1887143u * up + 14910827u * upass + upass + 2611909u;
    rng.mwcHigh = 45751u * up + 2757577u * upass + upass + 1010567u;
    rng.mwcLow = 416191069u;
    return rng;
}

// Largest output maps to 0.99999982, so the result stays below 1.
constexpr float rngOutputScale = 2.328306e-10f;

// Advances all four words and returns the combined 32-bit output.
TPL_HD uint32_t nextRandomBits(PixelRng& rng) {
    rng.mwcHigh = (36969u * (rng.mwcHigh & 0xFFFFu) + (rng.mwcHigh >> 16)) << 16;
    rng.mwcLow = (18000u * (rng.mwcLow & 0xFFFFu) + (rng.mwcLow >> 16)) & 0xFFFFu;
    rng.congState = 69069u * rng.congState + 1234567u;
    uint32_t x = rng.shiftState;
    x ^= x << 17;
    x ^= x >> 13;
    x ^= x << 5;
    rng.shiftState = x;
    return (rng.mwcHigh + rng.mwcLow) ^ (rng.congState + x);
}

// One draw in [0, 1): the output rounded to the nearest float, then scaled.
TPL_HD float nextRandom(PixelRng& rng) {
    return static_cast<float>(nextRandomBits(rng)) * rngOutputScale;
}
