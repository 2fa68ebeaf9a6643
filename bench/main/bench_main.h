#pragma once

// The one main() of the benchmark programs. It makes the Qt application (a
// widget one, offscreen unless QT_QPA_PLATFORM says otherwise, with the null
// sound device unless VIDORA_AUDIO_OUTPUT says otherwise), runs the
// program's own preparation, the benchmarks, then the program's report of
// its ratios against the peer tools.
#include <functional>

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

} // namespace vidora::bench
