#include "demo/letterbox.h"

#include <algorithm>
#include <cstring>
#include <vector>

PictureArea letterbox(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    PictureArea area;
    const int64_t wideWindow = int64_t(windowWidth) * pictureHeight, tallWindow = int64_t(windowHeight) * pictureWidth;
    if (wideWindow <= tallWindow) {  // full width, bars above and below
        area.width = windowWidth;
        area.height = static_cast<int>((wideWindow + pictureWidth / 2) / pictureWidth);
    } else {  // full height, bars left and right
        area.height = windowHeight;
        area.width = static_cast<int>((tallWindow + pictureHeight / 2) / pictureHeight);
    }
    area.width = std::max(area.width, 1);
    area.height = std::max(area.height, 1);
    area.x = std::max((windowWidth - area.width) / 2, 0);
    area.y = std::max((windowHeight - area.height) / 2, 0);
    return area;
}

void scaleNearest(const uint32_t* source, int sourceWidth, int sourceHeight, int sourcePitch, uint32_t* target,
                  int targetWidth, int targetHeight, int targetPitch) {
    if (targetWidth <= 0 || targetHeight <= 0) return;
    // Source column of each target column: the one under the target pixel's centre.
    std::vector<int> column(static_cast<size_t>(targetWidth));
    for (int x = 0; x < targetWidth; ++x)
        column[static_cast<size_t>(x)] =
            static_cast<int>((int64_t(2 * x + 1) * sourceWidth) / (2 * int64_t(targetWidth)));
    const bool sameWidth = targetWidth == sourceWidth;
    int previousRow = -1;
    for (int y = 0; y < targetHeight; ++y) {
        uint32_t* out = target + int64_t(y) * targetPitch;
        const int row = static_cast<int>((int64_t(2 * y + 1) * sourceHeight) / (2 * int64_t(targetHeight)));
        if (row == previousRow) {  // enlarged: a repeated row is one copy of the row above
            std::memcpy(out, out - targetPitch, size_t(targetWidth) * 4);
            continue;
        }
        previousRow = row;
        const uint32_t* in = source + int64_t(row) * sourcePitch;
        if (sameWidth) {
            std::memcpy(out, in, size_t(targetWidth) * 4);
            continue;
        }
        for (int x = 0; x < targetWidth; ++x) out[x] = in[column[static_cast<size_t>(x)]];
    }
}
