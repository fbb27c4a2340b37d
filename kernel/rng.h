#pragma once
// Per-pixel random generator: the four generators of the KISS family, kept in
// their stored (shifted and masked) forms and combined as (high + low) ^ (cong + shift).
// The stored forms matter: they fix every pixel's sequence, so the picture's
// noise is the same wherever the tracer runs.
#include <cstdint>

#include "kernel/host_device.h"
#include "kernel/tracer_math.h"

// U: uint32_t for one pixel, a vector of 32-bit lanes in the CPU's vector kernel.
template <class U>
struct RngState {
    U mwcHigh;
    U mwcLow;
    U congState;
    U shiftState;
};
using PixelRng = RngState<uint32_t>;

template <class M, class U>
TPL_HD RngState<U> select(M m, const RngState<U>& yes, const RngState<U>& no) {
    return {select(m, yes.mwcHigh, no.mwcHigh), select(m, yes.mwcLow, no.mwcLow),
            select(m, yes.congState, no.congState), select(m, yes.shiftState, no.shiftState)};
}

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
template <class U>
TPL_HD U nextRandomBits(RngState<U>& rng) {
    rng.mwcHigh = (U(36969u) * (rng.mwcHigh & U(0xFFFFu)) + (rng.mwcHigh >> 16)) << 16;
    rng.mwcLow = (U(18000u) * (rng.mwcLow & U(0xFFFFu)) + (rng.mwcLow >> 16)) & U(0xFFFFu);
    rng.congState = U(69069u) * rng.congState + U(1234567u);
    U x = rng.shiftState;
    x = x ^ (x << 17);
    x = x ^ (x >> 13);
    x = x ^ (x << 5);
    rng.shiftState = x;
    return (rng.mwcHigh + rng.mwcLow) ^ (rng.congState + x);
}

// One draw in [0, 1): the output rounded to the nearest float, then scaled.
template <class U>
TPL_HD auto nextRandom(RngState<U>& rng) {
    return toFloat(nextRandomBits(rng)) * rngOutputScale;
}
