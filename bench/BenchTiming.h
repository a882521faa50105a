#pragma once

// Timing helpers of the benchmark drivers: medians are printed the same way everywhere.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline void Print(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s median %.2f ms min %.2f ms max %.2f ms (%zu runs)\n", name, ms[ms.size() / 2],
                ms.front(), ms.back(), ms.size());
}

} // namespace velmora::bench
