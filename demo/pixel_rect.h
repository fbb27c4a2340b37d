#pragma once
// A rectangle of pixels, from the top-left corner.
struct PixelRect {
    int x = 0, y = 0;
    int width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};
