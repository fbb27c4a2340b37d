#include "cpu_kernel/cpu_kernels.h"

#include "kernel/pixel_guide.h"
#include "kernel/render_pixel.h"

void finishPixel(const FrameWork& work, int p, Vec3 acc) {
    work.out[p] = packPixel(acc, work.record->samplesPerFrame);
    if (work.radiance) {
        const Vec3 light = exposedLight(acc, work.record->samplesPerFrame);
        float* out = work.radiance + static_cast<size_t>(p) * 3;
        out[0] = light.x;
        out[1] = light.y;
        out[2] = light.z;
    }
}

void shadeRunScalar(const FrameWork& work, int begin, int end) {
    for (int g = begin; g < end; ++g) {
        const int p = pixelForThread(g, work.pixelCount);
        finishPixel(work, p, tracePixel(*work.record, p, work.pass, work.sdata));
    }
}

void guideRun(const FrameWork& work, float* guide, int begin, int end) {
    for (int g = begin; g < end; ++g) {
        const int p = pixelForThread(g, work.pixelCount);
        storeGuide(pixelGuide(*work.record, p), guide + static_cast<size_t>(p) * guideFloats);
    }
}
