#include "frame_gate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "kernel/pixel_guide.h"
#include "kernel/render_pixel.h"

static_assert(guideNormal == 0 && guideAlbedo == 3 && guideDepth == 6 && guideHitDepth == 7 && guideObject == 8 &&
                  guideSpecular == 9 && guideLightSeen == 10 && guideFloats == 11,
              "guideTolerance knows every guide value by its offset");

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// Rounding may move a ray across an edge: one pixel in a thousand may see
// another surface (a rounding model of the GPU moved fewer than one in six thousand).
constexpr size_t guideEdgePixelsPerThousand = 1;
// Beyond these a guide value is another surface's, not the same one rounded.
constexpr float normalTolerance = 0.01f;
constexpr float albedoTolerance = 1e-3f;
constexpr float depthTolerance = 1e-3f;  // relative

// How far a device guide value (offset k) may be from the CPU's and still
// be the same surface: the object and the specular flag must be the same.
float guideTolerance(int k, float cpu) {
    if (k < guideAlbedo) return normalTolerance;
    if (k < guideDepth) return albedoTolerance;
    if (k == guideDepth || k == guideHitDepth) return depthTolerance * std::abs(cpu);
    // A test point on a shadow's edge may fall either way.
    if (k == guideLightSeen) return 1.0f / guideLightPoints + 1e-6f;
    return 0.0f;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
    char text[200];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

}  // namespace

PixelVerdict judgePixels(const uint32_t* device, const uint32_t* cpu, const uint32_t* cpuNext, size_t pixels,
                         double minMarginDb, double minPsnr) {
    PixelVerdict v;
    v.difference = compareFrames(device, cpu, pixels);
    v.noiseFloorPsnr = compareFrames(cpuNext, cpu, pixels).psnr;
    for (size_t i = 0; i < pixels; ++i) v.unwritten += (device[i] >> 24) != 0;
    // An exact frame has an infinite margin even where the next pass is exact too.
    v.marginDb = std::isinf(v.difference.psnr) ? infinity : v.difference.psnr - v.noiseFloorPsnr;

    std::vector<std::string> failures;
    if (v.unwritten > 0) failures.push_back(std::to_string(v.unwritten) + " pixels not written (top byte set)");
    if (!(v.marginDb >= minMarginDb)) {
        if (std::isinf(v.noiseFloorPsnr))
            failures.push_back("the CPU's next pass gives this very frame, so only an exact frame passes");
        else
            failures.push_back(format("PSNR %.2f dB is %.2f dB above the next pass's %.2f dB, not %g",
                                      v.difference.psnr, v.marginDb, v.noiseFloorPsnr, minMarginDb));
    }
    if (v.difference.psnr < minPsnr) failures.push_back(format("PSNR below %g dB", minPsnr));
    v.why = joined(failures);
    v.passed = failures.empty();
    return v;
}

LightVerdict judgeLight(const float* deviceLight, const uint32_t* devicePixels, const float* cpuLight,
                        const float* cpuNextLight, size_t pixels, double minMarginDb) {
    LightVerdict v;
    double squares = 0, nextSquares = 0, signal = 0;
    for (size_t i = 0; i < pixels * 3; ++i) {
        const float cpu = cpuLight[i], device = deviceLight[i], next = cpuNextLight[i];
        if (!std::isfinite(cpu)) continue;
        if (!std::isfinite(device)) {
            ++v.notFinite;
            continue;
        }
        const double c = std::min(cpu, 1.0f), d = std::min(device, 1.0f);
        const double n = std::isfinite(next) ? std::min(next, 1.0f) : c;
        squares += (d - c) * (d - c);
        nextSquares += (n - c) * (n - c);
        signal += c * c;
    }
    const double scale = signal > 0 ? signal : 1.0;
    v.error = std::sqrt(squares / scale);
    v.noiseFloor = std::sqrt(nextSquares / scale);
    v.marginDb = squares == 0 ? infinity : 10.0 * std::log10(nextSquares / squares);

    // Each packed pixel is the tone curve of the light the device stored for
    // it: a light value written to another pixel's place cannot hide in noise.
    for (size_t p = 0; p < pixels; ++p) {
        const uint32_t own = packLight({deviceLight[3 * p], deviceLight[3 * p + 1], deviceLight[3 * p + 2]});
        for (int shift = 0; shift <= 16; shift += 8)
            if (std::abs(static_cast<int>((own >> shift) & 0xFFu) -
                         static_cast<int>((devicePixels[p] >> shift) & 0xFFu)) > 1) {
                ++v.offPixels;
                break;
            }
    }

    std::vector<std::string> failures;
    if (v.notFinite > 0) failures.push_back(std::to_string(v.notFinite) + " light values not written or not finite");
    if (v.offPixels > 0) failures.push_back(std::to_string(v.offPixels) + " pixels are not the tone curve of their light");
    if (!(v.marginDb >= minMarginDb)) {
        if (nextSquares == 0)
            failures.push_back("the CPU's next pass gives this very light, so only exact light passes");
        else
            failures.push_back(format("light error %.3g%% is only %.2f dB below the next pass's %.3g%%, not %g",
                                      100.0 * v.error, v.marginDb, 100.0 * v.noiseFloor, minMarginDb));
    }
    v.why = joined(failures);
    v.passed = failures.empty();
    return v;
}

GuideVerdict judgeGuide(const float* deviceGuide, const float* cpuGuide, size_t pixels) {
    GuideVerdict v;
    v.allowed = (pixels * guideEdgePixelsPerThousand + 999) / 1000;
    for (size_t p = 0; p < pixels; ++p) {
        const float* device = deviceGuide + p * guideFloats;
        const float* cpu = cpuGuide + p * guideFloats;
        bool differs = false, notFinite = false;
        for (int k = 0; k < guideFloats; ++k) {
            if (!std::isfinite(cpu[k])) {
                differs |= std::isfinite(device[k]);
                continue;
            }
            if (!std::isfinite(device[k])) {
                notFinite = true;
                continue;
            }
            differs |= std::abs(device[k] - cpu[k]) > guideTolerance(k, cpu[k]);
        }
        v.notFinite += notFinite;
        v.differing += differs && !notFinite;
    }
    std::vector<std::string> failures;
    if (v.notFinite > 0) failures.push_back(std::to_string(v.notFinite) + " guide pixels not written or not finite");
    if (v.differing > v.allowed)
        failures.push_back(std::to_string(v.differing) + " guide pixels see another surface than the CPU's (at most " +
                           std::to_string(v.allowed) + " may)");
    v.why = joined(failures);
    v.passed = failures.empty();
    return v;
}
