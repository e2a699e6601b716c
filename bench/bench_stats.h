// Figures the benchmarks share: the median of their samples, which occasional preemption barely moves.
#pragma once

#include <algorithm>
#include <vector>

namespace quorvane::bench {

// 0 for no samples.
inline double medianOf(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace quorvane::bench
