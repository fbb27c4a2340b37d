#pragma once
// Where each pixel's first hit was one frame earlier: the hit point moved back
// by its own object's motion between the two records, seen by the earlier
// camera. Spheres and boxes only translate (figures move their spheres), and
// the light is sphere 0; the sky is reprojected by direction alone.
#include "kernel/frame_data.h"
#include "reconstruct/image_plane.h"
#include "render/row_pool.h"

// For every pixel of `now` (now.width x now.height), its position in the
// frame of `before` (in before's pixels, see image_plane.h), from the guide
// layer of now's frame (guideFloats per pixel, kernel/pixel_guide.h).
// `now` is the record the guide was traced with (jittered, if it was), and
// positions are on the plane of `before` as given: pass the jittered record
// of the earlier frame to land on the pixels it rendered.
// x and y are NaN where it has no earlier position: behind the earlier
// camera, or a guide value that names no object of both records (the object
// was not there before, or the value is not one the tracer writes).
void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out);

// The same with the rows split over the given number of threads (at least
// one); the positions do not depend on it.
void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out,
                       int threads);
// The same on the pool's threads.
void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out,
                       RowPool& pool);
