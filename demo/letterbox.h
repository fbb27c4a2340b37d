#pragma once
// Fitting a picture of one shape into an area of another: the largest area
// of the picture's shape, centred, with bars around it; and the nearest-pixel
// scaler the software display draws it with.
#include <cstdint>

struct PictureArea {
    int x = 0, y = 0;  // top-left corner, in window pixels from the top-left
    int width = 0, height = 0;
};

// The largest area with the picture's aspect that fits the window, centred
// (sizes rounded to the nearest pixel); at least one pixel each way.
PictureArea letterbox(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

// Scales a whole picture to fill a target of the given size, each target
// pixel taking the source pixel under its centre. Pitches are in pixels.
void scaleNearest(const uint32_t* source, int sourceWidth, int sourceHeight, int sourcePitch, uint32_t* target,
                  int targetWidth, int targetHeight, int targetPitch);
