#include "kernel/cpu_kernels.h"

#include "kernel/render_pixel.h"

void shadeRunScalar(const FrameWork& work, int begin, int end) {
    for (int g = begin; g < end; ++g) {
        const int p = pixelForThread(g, work.pixelCount);
        work.out[p] = shadePixel(*work.record, p, work.pass, work.sdata);
    }
}
