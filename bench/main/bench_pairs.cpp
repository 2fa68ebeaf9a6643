#include "bench_pairs.h"

#include "bench_main.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace vidora::bench {

double LoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const double load = file.readLine().split(' ').value(0).toDouble(&ok);
    return ok ? load : -1;
}

double CpuSeconds(bool children)
{
    rusage usage{};
    getrusage(children ? RUSAGE_CHILDREN : RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Pairs::medianCpuRatio() const
{
    std::vector<double> ratios;
    for (const Pair &p : m_pairs)
        if (p.peerCpu > 0 && p.oursCpu > 0)
            ratios.push_back(p.oursCpu / p.peerCpu);
    return median(ratios);
}

double Pairs::medianRatio() const
{
    std::vector<double> ratios;
    for (const Pair &p : m_pairs)
        if (p.peer > 0)
            ratios.push_back(p.ours / p.peer);
    return median(ratios);
}

double Pairs::medianOurs() const
{
    std::vector<double> values;
    for (const Pair &p : m_pairs)
        values.push_back(p.ours);
    return median(values);
}

double Pairs::medianPeer() const
{
    std::vector<double> values;
    for (const Pair &p : m_pairs)
        values.push_back(p.peer);
    return median(values);
}

void Pairs::print(const std::string &what, const std::string &peerName, double goal,
                  const char *unit) const
{
    if (m_pairs.empty())
        return;
    double low = m_pairs.front().load;
    double high = low;
    for (const Pair &p : m_pairs) {
        low = std::min(low, p.load);
        high = std::max(high, p.load);
    }
    const double ratio = medianRatio();
    std::printf("%s, %zu pairs: ours %.3f %s, %s %.3f %s (medians), paired ratio %.2f (median; "
                "goal <= %.1f: %s), load %.1f-%.1f\n",
                what.c_str(), m_pairs.size(), medianOurs(), unit, peerName.c_str(), medianPeer(),
                unit, ratio, goal, ratio <= goal ? "met" : "not met", low, high);
    if (const double cpu = medianCpuRatio(); cpu > 0) {
        std::printf("  processor time ratio %.2f (median; ours/peer", cpu);
        for (std::size_t k = 0; k < m_pairs.size(); ++k)
            std::printf("%s %.2f/%.2f s", k == 0 ? ":" : ",", m_pairs[k].oursCpu,
                        m_pairs[k].peerCpu);
        std::printf(")\n");
    }
    std::printf("  pairs:");
    for (std::size_t k = 0; k < m_pairs.size(); ++k) {
        const Pair &p = m_pairs[k];
        std::printf("%s %.3f/%.3f %s (%.2f, load %.1f)", k == 0 ? "" : ",", p.ours, p.peer, unit,
                    p.peer > 0 ? p.ours / p.peer : 0.0, p.load);
    }
    std::printf("\n");
    std::fflush(stdout);
}

void RunPairs(benchmark::State &state, Pairs &pairs, const std::function<double()> &ours,
              const std::function<double()> &peer)
{
    for (auto _ : state) {
        Pairs::Pair pair;
        pair.load = LoadAverage();
        const double selfCpu = CpuSeconds();
        pair.ours = ours();
        pair.oursCpu = CpuSeconds() - selfCpu;
        if (pair.ours < 0) {
            state.SkipWithError("our run failed");
            return;
        }
        const double childCpu = CpuSeconds(true);
        pair.peer = peer();
        pair.peerCpu = CpuSeconds(true) - childCpu;
        if (pair.peer < 0) {
            state.SkipWithError("the peer's run failed");
            return;
        }
        pairs.add(pair);
        state.SetIterationTime(pair.ours);
        state.counters["ratio"] = pair.peer > 0 ? pair.ours / pair.peer : 0;
        state.counters["ours"] = pair.ours;
        state.counters["peer"] = pair.peer;
        state.counters["load"] = pair.load;
        if (pair.peerCpu > 0)
            state.counters["cpu_ratio"] = pair.oursCpu / pair.peerCpu;
    }
}

} // namespace vidora::bench
