#pragma once
// The per-pixel entry shared by the CUDA kernel and the CPU backend.
#include <cstdint>

#include "kernel/host_device.h"
#include "scene/frame_data.h"

// Thread index g -> pixel index p: 8 x 4 pixel tiles per 32 threads.
TPL_HD int permutePixelIndex(int g);

// Traces pixel p of the record for frame counter pass and returns it packed 0x00RRGGBB.
TPL_HD uint32_t shadePixel(const FrameData& fd, int p, int pass, const unsigned char* sdata);
