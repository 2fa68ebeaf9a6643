#pragma once

// The one main() of the benchmark programs. It makes the Qt application (a
// widget one, offscreen unless QT_QPA_PLATFORM says otherwise, with the null
// sound device unless VIDORA_AUDIO_OUTPUT says otherwise), runs the
// program's own preparation, the benchmarks, then the program's report of
// its ratios against the peer tools.
#include <algorithm>
#include <functional>
#include <vector>

namespace vidora::bench {

struct Program
{
    // Makes the inputs before the run; false ends the program with status 1.
    std::function<bool()> prepare;
    // Prints the comparison with the peer after the run.
    std::function<void()> report;
};

// Called at static initialisation by the one program that needs it:
//   const bool defined = vidora::bench::define({.prepare = …, .report = …});
bool define(Program program);

// The median of the runs (the mean of the middle two for an even count); 0
// for none.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace vidora::bench
