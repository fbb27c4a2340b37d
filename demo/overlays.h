#pragma once
// The title images over the rendered frame: when each is shown, how it fades,
// and the additive blend that puts it on the display surface.
#include <array>
#include <cstdint>

#include "demo/pixel_rect.h"
#include "kernel/frame_data.h"

class Surface;
struct Sprite;

// The eight title images, in the order they are loaded.
enum OverlayId {
    logoOverlayId,
    reOverlayId,
    codingOverlayId,
    realtimeOverlayId,
    titleOverlayId,
    quorvalingOverlayId,
    greekOverlayId,
    greetsOverlayId,
    overlayCount
};

extern const char* const overlayFileNames[overlayCount];

struct OverlayCue {
    OverlayId sprite;
    float start;  // fade window, seconds
    float end;
    int row;             // top row on the display surface
    bool fromShowStart;  // shown for every t below end, not only after start
};

constexpr int overlayCueCount = 8;
// In drawing order.
extern const OverlayCue overlaySchedule[overlayCueCount];

// Both bounds are strict.
inline bool overlayDue(const OverlayCue& cue, float t) {
    return (cue.fromShowStart || t > cue.start) && t < cue.end;
}

// A factor of 256 adds the image unscaled.
constexpr int overlayFullStrength = 256;
// 0..254 while fading in during the first half second or out during the last,
// overlayFullStrength in between.
int overlayFadeFactor(float t, float start, float end);

// Red, green and blue of s scaled by factor / 256 (truncated), alpha dropped.
inline uint32_t scalePixel(uint32_t s, uint32_t factor) {
    return ((((s & 0xFF00u) * factor) >> 8) & 0xFF00u) | ((((s & 0xFF00FFu) * factor) >> 8) & 0xFF00FFu);
}

// Per-channel sum of d and s, each channel saturating at 255; the top byte ends up 0.
inline uint32_t addPixelSaturated(uint32_t d, uint32_t s) {
    uint32_t redBlue = (d & 0xFF00FFu) + (s & 0xFF00FFu);  // a carry lands in bit 8 or 24
    uint32_t green = (d & 0xFF00u) + (s & 0xFF00u);        // a carry lands in bit 16
    uint32_t carries = redBlue & 0x1000100u;
    redBlue |= carries - (carries >> 8);  // a carry turns its channel to 0xFF
    carries = green & 0x10000u;
    green |= carries - (carries >> 8);
    return (redBlue & 0xFF00FFu) | (green & 0xFF00u);
}

// The part of a spriteWidth x spriteHeight image drawn with its top at row on
// a picture: centred horizontally (truncated towards zero), clipped to the
// picture. In the image's pixels; empty when none of it is on the picture.
PixelRect overlayShownPart(int spriteWidth, int spriteHeight, int row, int pictureWidth, int pictureHeight);

// Adds frame 0 of sprite to dst, centred horizontally with its top at row, faded
// for the window start..end at time t. Only the part inside dst is drawn (and
// of that, what the sprite holds).
void blendOverlay(Surface& dst, float t, float start, float end, const Sprite& sprite, int row);

// The title images by OverlayId; null where none is loaded.
using OverlaySprites = std::array<const Sprite*, overlayCount>;

// The row a cue's top row (given for a 480-row picture) takes in a picture of
// this height; the images are scaled by the same factor.
int overlayRow(int row, int pictureHeight);
// The size a side of a title image (made for a 480-row picture) takes in a
// picture of this height: rounded, at least one pixel.
int overlaySide(int side, int pictureHeight);
// All that the schedule's cues draw of title image `id`, scaled to width x
// height, on a picture of this size: the bounding box of their shown parts.
PixelRect overlayPartDrawn(OverlayId id, int width, int height, int pictureWidth, int pictureHeight);

// Draws every overlay of the schedule due at t onto the picture dst; a null
// sprite is skipped. Rows scale with dst's height (sprites are given scaled).
void drawDueOverlays(Surface& dst, float t, const OverlaySprites& sprites);

// Copies a width x height packed frame into dst row by row; null does nothing.
void copyFrame(Surface& dst, const uint32_t* frame, int width = frameWidth, int height = frameHeight);
