#pragma once
// An image cut into frames of equal width, laid side by side. The title images
// have one frame each.
class Surface;

struct Sprite {
    Sprite(Surface* image, unsigned int frameCount);
    // One frame of width x height of which `part` holds only the pixels from
    // column partX and row partY on: the part a picture shows of it.
    Sprite(Surface* part, int width, int height, int partX, int partY);

    int frameWidth = 0;  // image width / frame count
    int height = 0;
    int width = 0;  // the whole image
    unsigned int frameCount = 1;
    Surface* image = nullptr;  // kept for the whole run
    int partX = 0, partY = 0;  // where image's pixels lie in the frame
};
