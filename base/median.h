#pragma once
// The median of timings: what a timed run reports, unmoved by one slow frame.
#include <algorithm>
#include <vector>

// The middle value, or the mean of the middle two; -1 for none (no timed runs).
inline double median(std::vector<double> values) {
    if (values.empty()) return -1.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}
