#pragma once
// Host entry points into the CUDA tracer. They return the CUDA error number
// (0 = success) as a plain int, so callers need no CUDA headers.
#include "kernel/frame_data.h"

constexpr int tracerBlockSize = 64;

// Blocks of tracerBlockSize threads covering one thread per pixel.
constexpr int tracerBlockCount(int pixelCount) {
    return (pixelCount + tracerBlockSize - 1) / tracerBlockSize;
}

// Copies the whole 960-byte record into the device constant d_FD.
int tracerUploadRecord(const FrameData& record);

// Launches renderFrame over `blocks` blocks into the device buffer a_FinalImage,
// reading the device sampler table sdata; returns the launch error. Does not wait.
// radiance (3 floats per pixel) and guide (guideFloats per pixel) are device
// buffers for the optional layers, or null.
int tracerLaunch(int blocks, int* a_FinalImage, int pass, unsigned char* sdata, float* radiance = nullptr,
                 float* guide = nullptr);
