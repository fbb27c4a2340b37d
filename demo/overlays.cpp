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

PixelRect overlayShownPart(int spriteWidth, int spriteHeight, int row, int pictureWidth, int pictureHeight) {
    const int left = (pictureWidth - spriteWidth) / 2;
    PixelRect part;
    part.x = std::max(0, -left);
    part.y = std::max(0, -row);
    part.width = std::min(spriteWidth - part.x, pictureWidth - std::max(0, left));
    part.height = std::min(spriteHeight - part.y, pictureHeight - std::max(0, row));
    if (part.empty()) part.width = part.height = 0;
    return part;
}

void blendOverlay(Surface& dst, float t, float start, float end, const Sprite& sprite, int row) {
    if (!dst.pixels || !sprite.image || !sprite.image->pixels) return;
    const Surface& image = *sprite.image;
    const uint32_t factor = static_cast<uint32_t>(overlayFadeFactor(t, start, end));

    const PixelRect shown = overlayShownPart(sprite.frameWidth, sprite.height, row, dst.width, dst.height);
    // Of that, the columns and rows the image holds (all, unless it holds a part).
    const int x0 = std::max(shown.x, sprite.partX);
    const int x1 = std::min(shown.x + shown.width, sprite.partX + image.width);
    const int y0 = std::max(shown.y, sprite.partY);
    const int y1 = std::min(shown.y + shown.height, sprite.partY + image.height);
    if (shown.empty() || x1 <= x0 || y1 <= y0) return;

    const int left = (dst.width - sprite.frameWidth) / 2;
    for (int y = y0; y < y1; ++y) {
        uint32_t* out = dst.pixels + static_cast<long>(row + y) * dst.pitch + left + x0;
        const uint32_t* in = image.pixels + static_cast<long>(y - sprite.partY) * image.pitch + (x0 - sprite.partX);
        blendRow(out, in, x1 - x0, factor);
    }
}

int overlayRow(int row, int pictureHeight) {
    // Rounded to the nearest row; exactly the given row at 480.
    return static_cast<int>((static_cast<long long>(row) * pictureHeight * 2 + frameHeight) / (2 * frameHeight));
}

int overlaySide(int side, int pictureHeight) {
    return std::max(1, static_cast<int>((static_cast<long long>(side) * pictureHeight * 2 + frameHeight) /
                                        (2 * frameHeight)));
}

PixelRect overlayPartDrawn(OverlayId id, int width, int height, int pictureWidth, int pictureHeight) {
    PixelRect drawn;
    for (const OverlayCue& cue : overlaySchedule) {
        if (cue.sprite != id) continue;
        const PixelRect part = overlayShownPart(width, height, overlayRow(cue.row, pictureHeight), pictureWidth,
                                                pictureHeight);
        if (part.empty()) continue;
        if (drawn.empty()) {
            drawn = part;
            continue;
        }
        const int right = std::max(drawn.x + drawn.width, part.x + part.width);
        const int bottom = std::max(drawn.y + drawn.height, part.y + part.height);
        drawn.x = std::min(drawn.x, part.x);
        drawn.y = std::min(drawn.y, part.y);
        drawn.width = right - drawn.x;
        drawn.height = bottom - drawn.y;
    }
    return drawn;
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
