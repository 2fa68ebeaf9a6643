// temporary probe, not committed
#include "main/bench_main.h"
#include "platform/media/executor.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "platform/media/graph.h"
#include "support/avi_files.h"
#include "support/media_filters.h"
#include "support/tools.h"
#include "video/graphs/convertirdvunit.h"
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <time.h>
using namespace vidora;
using namespace vidora::test;
using namespace std::chrono_literals;
namespace {
QString g_in, g_dir;
long flt()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}
long csw()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}
double cpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
void module()
{
    long f0 = flt(), s0 = csw();
    double c0 = cpu(), t0 = now();
    double c1, t1, c2, t2, c3, t3, c4, t4;
    {
        auto executor = std::make_shared<media::QueueEventExecutor>();
        TCdm cdm(executor);
        bool complete = false;
        cdm.OnGraphComplete = [&] { complete = true; };
        c1 = cpu();
        t1 = now();
        cdm.BuildToType2Graph(g_in, g_dir + "/m.avi");
        c2 = cpu();
        t2 = now();
        cdm.graph().Run();
        while (!complete) {
            if (executor->runPending() == 0)
                std::this_thread::sleep_for(1ms);
        }
        c3 = cpu();
        t3 = now();
        cdm.graph().Stop();
        c4 = cpu();
        t4 = now();
    }
    double c5 = cpu(), t5 = now();
    std::printf("faults %ld switches %ld ", flt() - f0, csw() - s0);
    std::printf("module: ctor %.1f/%.1f build %.1f/%.1f run %.1f/%.1f stop %.1f/%.1f dtor "
                "%.1f/%.1f ms (cpu/wall)\n",
                1e3 * (c1 - c0), 1e3 * (t1 - t0), 1e3 * (c2 - c1), 1e3 * (t2 - t1), 1e3 * (c3 - c2),
                1e3 * (t3 - t2), 1e3 * (c4 - c3), 1e3 * (t4 - t3), 1e3 * (c5 - c4),
                1e3 * (t5 - t4));
}
void rewrap()
{
    long f0 = flt(), s0 = csw();
    using namespace vidora::media;
    double c0 = cpu(), t0 = now();
    double c1, t1, c2, t2, c3, t3, c4, t4;
    {
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        EventLog log(graph, executor);
        auto source = std::make_shared<FileSourceFilter>();
        auto splitter = std::make_shared<AviSplitterFilter>();
        auto mux = std::make_shared<AviMuxFilter>();
        auto writer = std::make_shared<FileWriterFilter>();
        c1 = cpu();
        t1 = now();
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "avisplitter");
        graph.AddFilter(mux, "avimux");
        graph.AddFilter(writer, "destination");
        source->Load(g_in, nullptr);
        graph.Connect(source->output(), splitter->input());
        auto dv = std::make_shared<DvSplitterFilter>();
        graph.AddFilter(dv, "dvsplitter");
        graph.Connect(splitter->outputAt(0), *dv->inputPin());
        for (std::size_t i = 0; i < dv->outputCount(); ++i)
            graph.Connect(dv->outputAt(i), *mux->pins().back());
        graph.Connect(mux->output(), writer->input());
        writer->SetFileName(g_dir + "/r.avi", nullptr);
        writer->SetMode(AM_FILE_OVERWRITE);
        c2 = cpu();
        t2 = now();
        graph.Run();
        log.waitFor(GraphEventCode::Complete, 120s);
        c3 = cpu();
        t3 = now();
        graph.Stop();
        c4 = cpu();
        t4 = now();
    }
    double c5 = cpu(), t5 = now();
    std::printf("faults %ld switches %ld ", flt() - f0, csw() - s0);
    std::printf("rewrap: ctor %.1f/%.1f build %.1f/%.1f run %.1f/%.1f stop %.1f/%.1f dtor "
                "%.1f/%.1f ms (cpu/wall)\n",
                1e3 * (c1 - c0), 1e3 * (t1 - t0), 1e3 * (c2 - c1), 1e3 * (t2 - t1), 1e3 * (c3 - c2),
                1e3 * (t3 - t2), 1e3 * (c4 - c3), 1e3 * (t4 - t3), 1e3 * (c5 - c4),
                1e3 * (t5 - t4));
}
} // namespace
[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare =
        [] {
            static QTemporaryDir dir;
            g_dir = dir.path();
            g_in = dir.filePath("in.avi");
            runTool("ffmpeg",
                    QString("-v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                            "sine=sample_rate=48000 -t 60 -ac 2 -pix_fmt yuv420p -f dv")
                            .split(' ')
                        << dir.filePath("in.dv"));
            writeFileBytes(g_in, dvType1Avi(readFileBytes(dir.filePath("in.dv"))));
            int n = qEnvironmentVariableIntValue("PROBE_N");
            if (n == 0)
                n = 4;
            const QByteArray which = qgetenv("PROBE_WHICH");
            for (int i = 0; i < n; ++i) {
                if (which != "r")
                    module();
                if (which != "m")
                    rewrap();
            }
            QFile::remove("/tmp/speedprobe/m.avi");
            QFile::copy(g_dir + "/m.avi", "/tmp/speedprobe/m.avi");
            return false;
        },
    .report = {},
});
