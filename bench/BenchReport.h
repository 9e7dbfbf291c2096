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
