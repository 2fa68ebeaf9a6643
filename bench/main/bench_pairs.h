#pragma once

// Ours against a peer, run in turn: each repetition runs ours, then the peer
// on the same input, so that a change of the machine's load falls on both
// alike. The figure to judge is the median of the pairs' ratios
// (ours / peer's); the load average (1 minute) at the start of each pair is
// printed beside it, as a figure measured on a busy machine says little.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace vidora::bench {

// The processor time (user + system) of this process, or of its children
// that were waited for, in seconds.
double CpuSeconds(bool children = false);

// The machine's load average over the last minute (/proc/loadavg); -1 when
// unknown.
double LoadAverage();

class Pairs
{
public:
    struct Pair
    {
        double ours = 0;
        double peer = 0;
        double load = -1; // at the start of the pair
        // Processor time (user + system) of ours (this process) and of the
        // peer (the child processes it waited for); 0 when not measured.
        double oursCpu = 0;
        double peerCpu = 0;
    };

    void add(const Pair &pair) { m_pairs.push_back(pair); }
    const std::vector<Pair> &pairs() const { return m_pairs; }
    bool empty() const { return m_pairs.empty(); }

    double medianRatio() const;
    // The median of the pairs' processor time ratios; 0 when not measured.
    double medianCpuRatio() const;
    double medianOurs() const;
    double medianPeer() const;

    // One line with the medians, the paired ratio, the goal and the load
    // range, then the pairs one by one, e.g.
    //   overlay PAL, 5 pairs: ours 1.412 s, ffmpeg 1.376 s (medians), paired
    //   ratio 1.03 (median; goal <= 1.0: not met), load 0.4-0.7
    //     pairs: 1.402/1.380 s (1.02, load 0.4), …
    // `unit` is the figures' unit ("s" for seconds).
    void print(const std::string &what, const std::string &peerName, double goal,
               const char *unit = "s") const;

private:
    std::vector<Pair> m_pairs;
};

// The body of a paired benchmark: each iteration runs `ours`, then `peer`
// (each gives its figure, seconds unless told otherwise, negative when it
// failed) and adds the pair to `pairs`, with the processor time of each:
// ours is this process's, the peer's that of the child processes it waited
// for. The iteration's time is ours; the counters give the ratio, both
// figures, the processor time ratio and the load.
void RunPairs(benchmark::State &state, Pairs &pairs, const std::function<double()> &ours,
              const std::function<double()> &peer);

} // namespace vidora::bench
