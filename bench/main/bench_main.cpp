#include "bench_main.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace vidora::bench {

namespace {

Program &defined()
{
    static Program program;
    return program;
}

} // namespace

bool define(Program program)
{
    defined() = std::move(program);
    return true;
}

} // namespace vidora::bench

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VIDORA_AUDIO_OUTPUT"))
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
    QApplication app(argc, argv); // fonts, pictures and windows need it
    const vidora::bench::Program &program = vidora::bench::defined();
    if (program.prepare && !program.prepare())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (program.report)
        program.report();
    return 0;
}
