#pragma once
// Passes of one picture's light (3 floats a pixel) summed in double precision
// and read back as their mean, before the tone curve.
#include <cstddef>
#include <vector>

struct LightSum {
    std::vector<double> sum;
    int passes = 0;

    void clear(size_t values) {
        sum.assign(values, 0.0);
        passes = 0;
    }
    void add(const float* light) {
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += light[i];
        ++passes;
    }
    // One pass gives back its own light exactly.
    void mean(std::vector<float>& out) const {
        out.resize(sum.size());
        for (size_t i = 0; i < sum.size(); ++i) out[i] = static_cast<float>(sum[i] / passes);
    }
};
