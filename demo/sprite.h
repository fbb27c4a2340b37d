#pragma once
// An image cut into frames of equal width, laid side by side. The title images
// have one frame each.
class Surface;

struct Sprite {
    Sprite(Surface* image, unsigned int frameCount);

    int frameWidth = 0;  // image width / frame count
    int height = 0;
    int width = 0;  // the whole image
    unsigned int frameCount = 1;
    Surface* image = nullptr;  // kept for the whole run
};
