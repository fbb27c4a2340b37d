// The CUDA path tracer: one thread per pixel, the scene record in constant memory.
#include <cuda_runtime.h>

#include "kernel/render_pixel.h"
#include "kernel/tracer_launch.h"

__constant__ __align__(16) FrameData d_FD;

__global__ void __launch_bounds__(tracerBlockSize) renderFrame(int* a_FinalImage, int _pass, unsigned char* sdata) {
    const int g = static_cast<int>(blockIdx.x * blockDim.x + threadIdx.x);
    const int p = pixelForThread(g, d_FD.width * d_FD.height);
    if (p < 0) return;
    a_FinalImage[p] = static_cast<int>(shadePixel(d_FD, p, _pass, sdata));
}

int tracerUploadRecord(const FrameData& record) {
    return static_cast<int>(cudaMemcpyToSymbol(d_FD, &record, sizeof(FrameData)));
}

int tracerLaunch(int blocks, int* a_FinalImage, int pass, unsigned char* sdata) {
    renderFrame<<<blocks, tracerBlockSize>>>(a_FinalImage, pass, sdata);
    return static_cast<int>(cudaGetLastError());
}
