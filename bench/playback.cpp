// Ten seconds of playback of a DV type-1 PAL file in the main window's video
// view (the preview graph: AVI splitter, DV splitter, date detector, DV
// decoder, overlay filter, colour converter, video renderer and the audio
// renderer on its clock, the pictures painted by the view), next to
// `ffmpeg -re -t 10 -i <file> -pix_fmt bgr24 -f null -`, which decodes and
// converts the same frames in real time. Counters: frames shown, frames late
// (shown more than half a frame after their time) and dropped (missing from
// the sequence), frames late while the machine held every program back
// (late_machine, left out of `late`: since the last frame on time the
// streaming thread waited more than a quarter of a frame for a processor
// once it was ready to run, or a separate process that sleeps in steps of
// 10 ms woke that much late while the frame was due), the CPU time of the
// process (user + system) over the run and of the GUI thread alone
// (gui_cpu_s); for the peer, the CPU time of the ffmpeg process.
// BM_PairedRatio plays and runs ffmpeg in turn and gives the median of the
// pairs' CPU ratios, which a change of the machine's load disturbs less
// (printed at the end with the load average of each pair);
// BM_ConcurrentRatio runs the two at the same time. Goal: every frame shown
// on time, cpu_s <= the peer's.
#include "main/bench_main.h"
#include "main/bench_pairs.h"
#include "support/dvfiles.h"
#include "support/isolatedhome.h"
#include "support/tools.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include "files/widgets/fichierlistbox.h"
#include "platform/media/graph.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace {

using namespace vidora;
using Clock = std::chrono::steady_clock;

constexpr int kSeconds = 10;
constexpr std::int64_t kFrame = 400000; // 100 ns units at 25 frames a second

struct Input
{
    QTemporaryDir dir;
    QString path;

    Input()
    {
        path = QDir(dir.path()).filePath("pal-type1.avi");
        // More than ten seconds, so the run never reaches the end.
        test::writeFileBytes(path,
                             test::dvType1Avi(test::ffmpegRawDv(dir.path(), {.frames = 275})));
    }
};

Input &input()
{
    static Input in;
    return in;
}

// The processor time of the calling thread: the GUI thread's share.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The time the calling thread has spent ready to run but waiting for a
// processor (the kernel's scheduler statistics), in nanoseconds; -1 when
// unknown. Seen here: when the machine stalls, every idle processor wakes
// tens of milliseconds late at the same instant, and a frame is shown late.
std::int64_t WaitedForProcessor()
{
    struct Statistics
    {
        int fd = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        ~Statistics()
        {
            if (fd >= 0)
                close(fd);
        }
    };
    thread_local const Statistics statistics;
    char text[96];
    const ssize_t n = statistics.fd < 0 ? -1 : pread(statistics.fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return -1;
    text[n] = 0;
    long long running = 0, waiting = 0;
    return std::sscanf(text, "%lld %lld", &running, &waiting) == 2 ? waiting : -1;
}

// A separate process that sleeps in steps of 10 ms and reports each wake
// more than 5 ms late (its time and how late, CLOCK_MONOTONIC, the
// steady clock's) through a pipe. Seen here: the machine now and then holds
// every program back for up to a few hundred milliseconds at once, this
// process too, and frames due then are shown late. The process lives as long
// as the benchmark and is never waited for, so its CPU time is counted in
// nobody's (the peer's is read from the children waited for).
class StallWitness
{
public:
    struct Stall
    {
        Clock::time_point due; // when the witness should have woken
        Clock::time_point woke;
    };

    StallWitness()
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return;
        const pid_t parent = getpid();
        const pid_t child = fork();
        if (child == 0) {
            // The parent has threads: only async-signal-safe calls here.
            close(ends[0]);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(0);
            watch(ends[1]);
        }
        close(ends[1]);
        if (child < 0) {
            close(ends[0]);
            return;
        }
        m_fd = ends[0];
        fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }

    // The stalls reported since the last call.
    std::vector<Stall> take()
    {
        std::vector<Stall> stalls;
        std::int64_t record[2];
        while (m_fd >= 0 && read(m_fd, record, sizeof record) == sizeof record) {
            const Clock::time_point woke{std::chrono::nanoseconds(record[0])};
            stalls.push_back({woke - std::chrono::nanoseconds(record[1]), woke});
        }
        return stalls;
    }

private:
    [[noreturn]] static void watch(int fd)
    {
        auto now = [] {
            timespec t{};
            clock_gettime(CLOCK_MONOTONIC, &t);
            return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
        };
        constexpr std::int64_t step = 10'000'000;
        for (;;) {
            const std::int64_t due = now() + step;
            const timespec pause{0, step};
            while (nanosleep(&pause, nullptr) != 0 && errno == EINTR) {
            }
            const std::int64_t woke = now();
            const std::int64_t record[2] = {woke, woke - due};
            if (record[1] > 5'000'000 && write(fd, record, sizeof record) != sizeof record)
                _exit(0);
        }
    }

    int m_fd = -1;
};

StallWitness &witness()
{
    static StallWitness w;
    return w;
}

struct Shown
{
    Clock::time_point at;
    std::int64_t time;
    std::int64_t waited; // WaitedForProcessor of the streaming thread
};

// Ten seconds of playback in the window: what was shown, and the CPU time.
struct Played
{
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double guiCpu = 0;
    std::size_t shown = 0;
    int late = 0;
    int lateMachine = 0;
    std::int64_t dropped = 0;
};

// The main window with the file open and paused at its start.
struct Window
{
    Settings settings{SettingsEnvironment::forRunningProgram()};
    Tviewdm viewdm;
    TUIForm form{settings, viewdm};
    bool ready = false;

    Window()
    {
        form.Switch1->Arguments.clear();
        form.show();
        form.Lframe->lf->ListModel()->OpenFichiers({input().path});
        ready = QTest::qWaitFor([&] { return form.ActiveFichier && viewdm.GraphReady(); }, 20000) &&
                viewdm.graph().GetState(std::chrono::seconds(5)).complete;
        QTest::qWait(200);
    }

    ~Window()
    {
        settings.PreferencesMode = kPreferencesRegistry;
        form.close();
    }

    Played play()
    {
        Played result;
        std::mutex mutex;
        std::vector<Shown> shown; // guarded by mutex; written on the streaming thread
        shown.reserve(400);
        form.VueFrame->vw->setFrameObserver([&](const media::VideoFrame &frame) {
            std::lock_guard lock(mutex);
            // The first frame starts before the stream (a seek lands in a
            // frame's middle): it is due when the stream starts.
            shown.push_back({Clock::now(),
                             frame.time ? std::max<std::int64_t>(frame.time->start, 0) : -1,
                             WaitedForProcessor()});
        });
        witness().take(); // stalls before the run
        const double cpu = CpuSeconds(RUSAGE_SELF);
        const double guiCpu = ThreadCpuSeconds();
        const auto start = Clock::now();
        form.al().Find(QStringLiteral("saPlayStop"))->Execute();
        // The program's own loop, which sleeps until an event comes (a wait
        // in steps would gather the ticks and the pictures into fewer
        // wake-ups than the program has).
        QEventLoop loop;
        QTimer::singleShot(kSeconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        form.al().Find(QStringLiteral("saPlayStop"))->Execute();
        result.wall = std::chrono::duration<double>(Clock::now() - start).count();
        result.cpu = CpuSeconds(RUSAGE_SELF) - cpu;
        result.guiCpu = ThreadCpuSeconds() - guiCpu;
        form.VueFrame->vw->setFrameObserver({});
        std::vector<Shown> seen;
        {
            std::lock_guard lock(mutex);
            seen = shown;
        }
        const std::vector<StallWitness::Stall> stalls = witness().take();
        viewdm.SeekTo(0);
        if (seen.size() < 2)
            return result;
        // On time: no later than half a frame after the earliest picture's
        // pace sets it.
        Clock::time_point offset = Clock::time_point::max();
        for (const Shown &s : seen)
            offset =
                std::min(offset, s.at - std::chrono::microseconds((s.time - seen[0].time) / 10));
        std::size_t onTime = 0; // the last frame shown on time
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const auto due = offset + std::chrono::microseconds((seen[i].time - seen[0].time) / 10);
            if (seen[i].at - due > std::chrono::milliseconds(20)) {
                const bool waited = seen[i].waited >= 0 && seen[onTime].waited >= 0 &&
                                    seen[i].waited - seen[onTime].waited > 10'000'000;
                // The witness was held back too, while this frame was due
                // (a frame after a stall comes late as well: it was decoded
                // only once the one before was shown).
                const bool stalled = std::any_of(stalls.begin(), stalls.end(), [&](auto &stall) {
                    return stall.woke - stall.due > std::chrono::milliseconds(10) &&
                           stall.due < seen[i].at && stall.woke > due;
                });
                ++(waited || stalled ? result.lateMachine : result.late);
            } else {
                onTime = i;
            }
            if (i > 0)
                result.dropped +=
                    std::max<std::int64_t>(0, (seen[i].time - seen[i - 1].time) / kFrame - 1);
        }
        result.shown = seen.size();
        result.ok = true;
        return result;
    }
};

// A run of the peer, started at once; finish() gives its wall time and CPU
// time (negative when it failed).
class PeerRun
{
public:
    PeerRun() : m_cpu(CpuSeconds(RUSAGE_CHILDREN)), m_start(Clock::now())
    {
        m_ffmpeg.start(QStringLiteral("ffmpeg"),
                       {"-v", "error", "-re", "-t", QString::number(kSeconds), "-i", input().path,
                        "-pix_fmt", "bgr24", "-f", "null", "-"});
    }

    std::pair<double, double> finish()
    {
        if (!m_ffmpeg.waitForFinished(60000) || m_ffmpeg.exitCode() != 0)
            return {-1, -1};
        return {std::chrono::duration<double>(Clock::now() - m_start).count(),
                CpuSeconds(RUSAGE_CHILDREN) - m_cpu};
    }

private:
    double m_cpu;
    Clock::time_point m_start;
    QProcess m_ffmpeg;
};

// The window for a benchmark; null, and the benchmark fails, when it could
// not open the file.
std::unique_ptr<Window> OpenWindow(benchmark::State &state)
{
    // One home for the process: Qt keeps the settings' place once it read it.
    static test::IsolatedHome home;
    auto window = std::make_unique<Window>();
    if (window->ready)
        return window;
    state.SkipWithError("the window could not open the file");
    return nullptr;
}

void BM_Playback(benchmark::State &state)
{
    const auto window = OpenWindow(state);
    if (!window)
        return;
    for (auto _ : state) {
        const Played played = window->play();
        if (!played.ok) {
            state.SkipWithError("no pictures were shown");
            return;
        }
        state.SetIterationTime(played.wall);
        state.counters["frames_shown"] = double(played.shown);
        state.counters["late"] = played.late;
        state.counters["late_machine"] = played.lateMachine;
        state.counters["dropped"] = double(played.dropped);
        state.counters["cpu_s"] = played.cpu;
        state.counters["gui_cpu_s"] = played.guiCpu;
    }
}

void BM_Peer(benchmark::State &state)
{
    for (auto _ : state) {
        const auto [wall, cpu] = PeerRun().finish();
        if (wall < 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["frames_shown"] = kSeconds * 25;
        state.counters["cpu_s"] = cpu;
    }
}

// Ours and ffmpeg's, ten seconds each, and the ratio of the CPU times of
// each pair (ours / ffmpeg's), with the median of those ratios over the
// repetitions. In turn, a change of the machine's load falls on both alike;
// at once, the same load falls on both, at the cost of each running beside
// the other.
vidora::bench::Pairs g_cpuPairs; // BM_PairedRatio's

void RatioRuns(benchmark::State &state, bool atOnce)
{
    const auto window = OpenWindow(state);
    if (!window)
        return;
    for (auto _ : state) {
        const double load = vidora::bench::LoadAverage();
        std::optional<PeerRun> peer;
        if (atOnce)
            peer.emplace();
        const Played played = window->play();
        if (!peer)
            peer.emplace();
        const auto [wall, cpu] = peer->finish();
        if (!played.ok || wall < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        if (!atOnce)
            g_cpuPairs.add({played.cpu, cpu, load});
        state.SetIterationTime(played.cpu / cpu);
        state.counters["ratio"] = played.cpu / cpu;
        state.counters["load"] = load;
        state.counters["cpu_s"] = played.cpu;
        state.counters["peer_cpu_s"] = cpu;
        state.counters["late"] = played.late;
        state.counters["late_machine"] = played.lateMachine;
        state.counters["dropped"] = double(played.dropped);
    }
}

void BM_PairedRatio(benchmark::State &state)
{
    RatioRuns(state, false);
}

void BM_ConcurrentRatio(benchmark::State &state)
{
    RatioRuns(state, true);
}

BENCHMARK(BM_Playback)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_Peer)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_PairedRatio)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kSecond);
BENCHMARK(BM_ConcurrentRatio)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kSecond);

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare =
        [] {
            input();
            witness();
            return true;
        },
    .report =
        [] {
            g_cpuPairs.print("playback CPU time, 10 s in turn", "ffmpeg -re -pix_fmt bgr24", 1.0);
        },
});
