#pragma once
// A part of an image as it would be after resampling the whole image: the
// title images on a large picture are scaled only where the picture shows them,
// so a tall narrow picture does not pay for the whole of every enlarged title.
#include <string>

#include "demo/image_file.h"
#include "demo/pixel_rect.h"

// Pixels `part` of `source` resampled to width x height, the same bytes as that
// part of FreeImage_Rescale(FILTER_CATMULLROM) of the whole image: the same
// weights, passes in the same order, each pass rounded to 8 bits. The cost is
// that of the part. `part` must lie inside width x height and not be empty.
bool scaleImagePart(const Image& source, int width, int height, const PixelRect& part, Image& scaled,
                    std::string& error);
