#include "platform/media/filters/codec_registry.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "support/media_filters.h"

#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;

TEST(CodecRegistry, RenderInsertsTheDecoderAndTheConverterAStreamNeeds)
{
    WaveFormatEx mp3;
    mp3.wFormatTag = 0x0055;
    mp3.nChannels = 2;
    mp3.nSamplesPerSec = 44100;
    mp3.nAvgBytesPerSec = 16000;
    mp3.nBlockAlign = 1;
    struct Case
    {
        MediaType stream;
        MediaType sinkAccepts;
        std::string inserted;
    };
    const std::vector<Case> cases{
        {testVideoType(), MediaType(MajorType::Video, subtype::Rgb24), "DV Video Decoder"},
        {MediaType::audio(mp3), MediaType(MajorType::Audio, subtype::Pcm), "ACM Wrapper"},
        {MediaType::video(fourCC("YUY2"),
                          [] {
                              VideoInfoHeader v;
                              v.bmiHeader.biWidth = 64;
                              v.bmiHeader.biHeight = 48;
                              v.bmiHeader.biBitCount = 16;
                              v.bmiHeader.biCompression = fourCC("YUY2");
                              return v;
                          }()),
         MediaType(MajorType::Video, subtype::Rgb24), "Color Space Converter"},
    };
    for (const auto &c : cases) {
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        auto registry = std::make_shared<FilterRegistry>();
        registerCodecFilters(*registry);
        graph.setRegistry(registry);
        auto source = std::make_shared<MemorySource>(
            MemorySource::Options{.streams = {c.stream}, .frameCount = 0});
        auto sink = std::make_shared<RecordingSink>(c.sinkAccepts);
        graph.AddFilter(source, "source");
        graph.AddFilter(sink, "sink");
        ASSERT_TRUE(graph.Render(source->outputAt(0))) << c.inserted;
        ASSERT_TRUE(sink->input().isConnected());
        EXPECT_EQ(sink->input().peer()->filter().name(), c.inserted);
        EXPECT_EQ(graph.filters().size(), 3u);
    }
}

} // namespace
