#include "kernel/cpu_kernels.h"

#include "kernel/batched_diffuse.h"
#include "kernel/pixel_guide.h"
#include "kernel/render_pixel.h"

void shadeRunScalar(const FrameWork& work, int begin, int end) {
    for (int g = begin; g < end; ++g) {
        const int p = pixelForThread(g, work.pixelCount);
        const Vec3 acc = tracePixel(*work.record, p, work.pass, work.sdata);
        work.out[p] = packPixel(acc, work.record->samplesPerFrame);
        if (work.radiance) storeRadiance(work, p, acc);
    }
}

void guideRun(const FrameWork& work, float* guide, int begin, int end) {
    for (int g = begin; g < end; ++g) {
        const int p = pixelForThread(g, work.pixelCount);
        const PixelGuide a = pixelGuide(*work.record, p);
        float* out = guide + static_cast<size_t>(p) * guideFloats;
        const float values[guideFloats] = {a.normal.x, a.normal.y, a.normal.z, a.albedo.x,
                                           a.albedo.y, a.albedo.z, a.depth};
        for (int i = 0; i < guideFloats; ++i) out[i] = values[i];
    }
}

DiffuseOutcome scalarDiffuseOutcome(const FrameData& fd, const DiffuseCase& c) {
    DiffuseOutcome o;
    o.rng = c.rng;
    o.throughput = c.throughput * diffuseFactor;
    const Vec3 p = c.origin + c.t * c.dir;
    const LightSample light = sampleLight(fd, p, c.normal, o.rng, c.byte0);
    o.nextDir = diffuseBounce(c.normal, o.rng, c.byte1);
    o.nextOrigin = p + surfaceOffset * o.nextDir;
    o.shadowOrigin = p + surfaceOffset * c.normal;
    o.toLight = light.toLight;
    o.cosLight = light.cosLight;
    o.lightDistance = tracerSqrt(light.distance2);
    o.light = directLight(fd, o.throughput, light);
    return o;
}
