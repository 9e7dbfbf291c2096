#pragma once
// One line per figure with a target: the ratio, the target, and by how much a missed target
// was missed. Shared by the benchmarks; a missed target is reported, never a failure.
#include <cstdio>

inline void PrintRatio(const char* what, double ratio, double target) {
    if (ratio <= target) {
        std::printf("  %-44s %6.2fx  (target <= %.2fx: met)\n", what, ratio, target);
    } else {
        std::printf("  %-44s %6.2fx  (target <= %.2fx: MISSED by %.2fx, %.0f%% over)\n", what, ratio, target,
                    ratio - target, (ratio / target - 1.0) * 100.0);
    }
}

// Median milliseconds of each operation, run in turn (a, b, c, a, b, c, ...) so that a change of
// machine load during the run falls on all of them alike.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <vector>

// Milliseconds from the performance counter.
inline double NowMs() {
    static const LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(freq.QuadPart);
}

inline std::vector<double> AlternatingMedians(const std::vector<std::function<void()>>& ops, int runs) {
    LARGE_INTEGER freq;
    ::QueryPerformanceFrequency(&freq);
    std::vector<std::vector<double>> ms(ops.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < ops.size(); ++k) {
            LARGE_INTEGER t0, t1;
            ::QueryPerformanceCounter(&t0);
            ops[k]();
            ::GdiFlush();
            ::QueryPerformanceCounter(&t1);
            ms[k].push_back(double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart));
        }
    }
    std::vector<double> medians;
    for (auto& v : ms) {
        std::sort(v.begin(), v.end());
        medians.push_back(v.empty() ? 0.0 : v[v.size() / 2]);
    }
    return medians;
}
