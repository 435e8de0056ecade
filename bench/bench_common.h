// bench_common.h -- what the benchmarks share.
#ifndef TAVO_BENCH_COMMON_H
#define TAVO_BENCH_COMMON_H

#include <algorithm>
#include <vector>

#include "tests/headless.h"

// On a busy machine the fastest repetition says most: report it as "min".
inline double fastest(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

#endif
