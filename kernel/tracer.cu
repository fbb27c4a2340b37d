// The CUDA path tracer: one thread per pixel, the scene record in constant memory.
#include <cuda_runtime.h>

#include "kernel/pixel_guide.h"
#include "kernel/render_pixel.h"
#include "kernel/tracer_launch.h"

__constant__ __align__(16) FrameData d_FD;

__global__ void __launch_bounds__(tracerBlockSize)
    renderFrame(int* a_FinalImage, int _pass, unsigned char* sdata, float* radiance, float* guide) {
    const int g = static_cast<int>(blockIdx.x * blockDim.x + threadIdx.x);
    const int p = pixelForThread(g, d_FD.width * d_FD.height);
    if (p < 0) return;
    const Vec3 acc = tracePixel(d_FD, p, _pass, sdata);
    a_FinalImage[p] = static_cast<int>(packPixel(acc, d_FD.samplesPerFrame));
    // The optional layers for filters that work before the tone curve.
    if (radiance) {
        const Vec3 light = exposedLight(acc, d_FD.samplesPerFrame);
        radiance[3 * p] = light.x;
        radiance[3 * p + 1] = light.y;
        radiance[3 * p + 2] = light.z;
    }
    if (guide) storeGuide(pixelGuide(d_FD, p), guide + guideFloats * p);
}

int tracerUploadRecord(const FrameData& record) {
    return static_cast<int>(cudaMemcpyToSymbol(d_FD, &record, sizeof(FrameData)));
}

int tracerLaunch(int blocks, int* a_FinalImage, int pass, unsigned char* sdata, float* radiance, float* guide) {
    // An error an earlier call left pending (one already reported, or ignored on
    // purpose) would otherwise read as this launch's.
    (void)cudaGetLastError();
    renderFrame<<<blocks, tracerBlockSize>>>(a_FinalImage, pass, sdata, radiance, guide);
    return static_cast<int>(cudaGetLastError());
}
