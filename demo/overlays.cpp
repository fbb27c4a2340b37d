#include "demo/overlays.h"

#include <algorithm>
#include <cstring>

#include "demo/surface.h"
#include "demo/sprite.h"
#include "kernel/frame_data.h"

const char* const overlayFileNames[overlayCount] = {
    "logo.png", "re.png", "coding.png", "realtime.png", "title.png", "quorvaling.png", "greek.png", "greets.png",
};

const OverlayCue overlaySchedule[overlayCueCount] = {
    {greekOverlayId, 1.0f, 8.0f, 40, false},
    {titleOverlayId, 4.0f, 8.0f, 100, false},
    {reOverlayId, 0.0f, 8.0f, 400, true},
    {realtimeOverlayId, 12.0f, 18.0f, 100, false},
    {quorvalingOverlayId, 12.0f, 18.0f, 150, false},
    {logoOverlayId, 12.0f, 18.0f, 250, false},
    {codingOverlayId, 84.0f, 88.0f, 250, false},
    {greetsOverlayId, 90.0f, 94.0f, 250, false},
};

int overlayFadeFactor(float t, float start, float end) {
    // 510 per second: full strength half a second after start, fading half a second before end.
    const float fadeIn = (t - start) * 510.0f;
    if (fadeIn < 255.0f) return fadeIn > 0.0f ? static_cast<int>(fadeIn) : 0;
    const float fadeOut = (end - t) * 510.0f;
    if (fadeOut < 255.0f) return fadeOut > 0.0f ? static_cast<int>(fadeOut) : 0;
    return overlayFullStrength;
}

namespace {

void blendRow(uint32_t* __restrict dst, const uint32_t* __restrict src, int count, uint32_t factor) {
    for (int x = 0; x < count; ++x) dst[x] = addPixelSaturated(dst[x], scalePixel(src[x], factor));
}

}  // namespace

void blendOverlay(Surface& dst, float t, float start, float end, const Sprite& sprite, int row) {
    if (!dst.pixels || !sprite.image || !sprite.image->pixels) return;
    const Surface& image = *sprite.image;
    const uint32_t factor = static_cast<uint32_t>(overlayFadeFactor(t, start, end));

    // Centred with truncation towards zero, then clipped to the surface.
    const int left = (dst.width - sprite.frameWidth) / 2;
    const int srcX = std::max(0, -left);
    const int dstX = std::max(0, left);
    const int columns = std::min(std::min(sprite.frameWidth, image.width) - srcX, dst.width - dstX);
    const int srcY = std::max(0, -row);
    const int dstY = std::max(0, row);
    const int rows = std::min(std::min(sprite.height, image.height) - srcY, dst.height - dstY);
    if (columns <= 0 || rows <= 0) return;

    for (int y = 0; y < rows; ++y) {
        uint32_t* out = dst.pixels + static_cast<long>(dstY + y) * dst.pitch + dstX;
        const uint32_t* in = image.pixels + static_cast<long>(srcY + y) * image.pitch + srcX;
        blendRow(out, in, columns, factor);
    }
}

int overlayRow(int row, int pictureHeight) {
    // Rounded to the nearest row; exactly the given row at 480.
    return static_cast<int>((static_cast<long long>(row) * pictureHeight * 2 + frameHeight) / (2 * frameHeight));
}

void drawDueOverlays(Surface& dst, float t, const OverlaySprites& sprites) {
    for (const OverlayCue& cue : overlaySchedule) {
        const Sprite* sprite = sprites[cue.sprite];
        if (sprite && overlayDue(cue, t))
            blendOverlay(dst, t, cue.start, cue.end, *sprite, overlayRow(cue.row, dst.height));
    }
}

void copyFrame(Surface& dst, const uint32_t* frame, int width, int height) {
    if (!frame || !dst.pixels) return;
    const int columns = std::min(width, dst.width);
    const int rows = std::min(height, dst.height);
    for (int y = 0; y < rows; ++y)
        std::memcpy(dst.pixels + static_cast<long>(y) * dst.pitch, frame + static_cast<long>(y) * width,
                    static_cast<size_t>(columns) * sizeof(uint32_t));
}
