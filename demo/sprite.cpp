#include "demo/sprite.h"

#include "demo/surface.h"

Sprite::Sprite(Surface* img, unsigned int frames) : frameCount(frames == 0 ? 1 : frames), image(img) {
    width = img->width;
    height = img->height;
    frameWidth = static_cast<int>(static_cast<unsigned int>(img->width) / frameCount);
}

Sprite::Sprite(Surface* part, int fullWidth, int fullHeight, int x, int y)
    : frameWidth(fullWidth), height(fullHeight), width(fullWidth), image(part), partX(x), partY(y) {}
