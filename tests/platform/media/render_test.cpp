#include "platform/media/graph.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

MediaType rgbType()
{
    VideoInfoHeader info;
    info.bmiHeader.biWidth = 720;
    info.bmiHeader.biHeight = 576;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = 720 * 576 * 3;
    return MediaType::video(subtype::Rgb24, info);
}

// A decoder stand-in: dvsd video in, RGB24 out.
class TestDecoder final : public TransformFilter
{
public:
    TestDecoder() : TransformFilter("Test Decoder") {}
    bool CheckInputType(const MediaType &type) override
    {
        return type.major() == MajorType::Video && type.subtype() == subtype::Dvsd;
    }
    bool CheckTransform(const MediaType &, const MediaType &out) override
    {
        return out == rgbType();
    }
    std::optional<MediaType> GetMediaType(int position) override
    {
        return position == 0 ? std::optional(rgbType()) : std::nullopt;
    }
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &) override
    {
        return allocator.setProperties({2, 64, 16}).has_value();
    }
    Flow Transform(const MediaSample &in, MediaSample &out) override
    {
        std::copy_n(in.data(), in.actualLength(), out.data());
        out.setActualLength(in.actualLength());
        return Flow::Ok;
    }
};

TEST(TransformFilter, CarriesTimesAndFlagsButNotTheInputsTypeChange)
{
    HangGuard guard(10s);
    FilterHarness h(std::make_shared<TestDecoder>(), {.frameCount = 3, .typeChangeAtFrame = 1},
                    rgbType());
    ASSERT_TRUE(h.connected());
    EXPECT_EQ(h.sink().input().connectionType(), rgbType());
    ASSERT_TRUE(h.run());
    const auto rendered = h.sink().rendered();
    ASSERT_EQ(rendered.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rendered[i].frame, i);
        EXPECT_EQ(rendered[i].time, (TimeRange{i * 400000, (i + 1) * 400000}));
        EXPECT_EQ(rendered[i].mediaTime, (TimeRange{i, i + 1}));
        EXPECT_FALSE(rendered[i].typeChange);
    }
}

struct Built
{
    Built()
        : executor(std::make_shared<QueueEventExecutor>()), graph(executor), log(graph, executor)
    {
        graph.AddFilter(source, "source");
    }
    std::vector<std::string> names()
    {
        std::vector<std::string> list;
        for (auto *f : graph.filters())
            list.push_back(f->name());
        return list;
    }
    std::string peerOf(Pin &pin) { return pin.peer() ? pin.peer()->filter().name() : ""; }
    std::shared_ptr<QueueEventExecutor> executor;
    FilterGraph graph;
    EventLog log;
    std::shared_ptr<MemorySource> source = std::make_shared<MemorySource>(
        MemorySource::Options{.streams = {testVideoType(), testAudioType()}, .frameCount = 3});
    std::shared_ptr<FilterRegistry> registry = std::make_shared<FilterRegistry>();
};

FilterFactory sinkFactory(std::string name, int merit, MediaType accepts)
{
    return {std::move(name), merit, [accepts] { return std::make_shared<RecordingSink>(accepts); }};
}

FilterFactory decoderFactory()
{
    return {"decoder", merit::Normal, [] { return std::make_shared<TestDecoder>(); }};
}

TEST(GraphConnect, DirectConnectionNeverInsertsAndHonoursAPartialType)
{
    Built b;
    b.registry->add(decoderFactory());
    b.graph.setRegistry(b.registry);
    auto rgbSink = std::make_shared<RecordingSink>(rgbType());
    auto anySink = std::make_shared<RecordingSink>();
    b.graph.AddFilter(rgbSink, "rgb");
    b.graph.AddFilter(anySink, "any");

    EXPECT_FALSE(b.graph.Connect(b.source->outputAt(0), rgbSink->input()));
    EXPECT_EQ(b.names().size(), 3u);
    EXPECT_FALSE(rgbSink->input().isConnected());

    const MediaType audio(MajorType::Audio);
    const MediaType video(MajorType::Video);
    EXPECT_FALSE(b.graph.Connect(b.source->outputAt(0), anySink->input(), &audio));
    ASSERT_TRUE(b.graph.Connect(anySink->input(), b.source->outputAt(0), &video));
    EXPECT_EQ(anySink->input().connectionType(), testVideoType());
    // A connected pin takes no second connection; two inputs never connect.
    EXPECT_FALSE(b.graph.Connect(b.source->outputAt(0), rgbSink->input()));
    EXPECT_FALSE(b.graph.Connect(anySink->input(), rgbSink->input()));
    EXPECT_TRUE(b.graph.Disconnect(b.source->outputAt(0)));
    EXPECT_FALSE(anySink->input().isConnected());
    EXPECT_FALSE(b.graph.Disconnect(b.source->outputAt(0)));
}

TEST(GraphConnect, NamesAreUniqueAndFiltersChangeOnlyWhileStopped)
{
    Built b;
    auto a = std::make_shared<RecordingSink>();
    auto c = std::make_shared<RecordingSink>();
    ASSERT_TRUE(b.graph.AddFilter(a, "sink"));
    ASSERT_TRUE(b.graph.AddFilter(c, "sink"));
    EXPECT_EQ(c->name(), "sink 0001");
    EXPECT_FALSE(b.graph.AddFilter(a, "again")); // already in the graph
    EXPECT_EQ(b.graph.FindFilterByName("sink 0001"), c.get());
    ASSERT_TRUE(b.graph.Connect(b.source->outputAt(0), a->input()));
    ASSERT_TRUE(b.graph.Pause());
    EXPECT_FALSE(b.graph.RemoveFilter(*c));
    EXPECT_FALSE(b.graph.Disconnect(a->input()));
    b.graph.Stop();
    EXPECT_TRUE(b.graph.RemoveFilter(*a));
    EXPECT_FALSE(b.source->outputAt(0).isConnected());
    EXPECT_EQ(b.graph.FindFilterByName("sink"), nullptr);
    b.graph.Clear();
    EXPECT_TRUE(b.graph.filters().empty());
}

TEST(GraphRender, PicksByMeritAndPrefersAFreeInputAlreadyInTheGraph)
{
    {
        Built b;
        b.registry->add(sinkFactory("low", merit::Unlikely, MediaType(MajorType::Video)));
        b.registry->add(sinkFactory("never", merit::DoNotUse, MediaType(MajorType::Video)));
        b.registry->add(sinkFactory("high", merit::Preferred, MediaType(MajorType::Video)));
        b.graph.setRegistry(b.registry);
        ASSERT_TRUE(b.graph.Render(b.source->outputAt(0)));
        EXPECT_EQ(b.peerOf(b.source->outputAt(0)), "high");
        EXPECT_EQ(b.names(), (std::vector<std::string>{"source", "high"}));
    }
    {
        Built b;
        b.registry->add(sinkFactory("high", merit::Preferred, MediaType(MajorType::Video)));
        b.graph.setRegistry(b.registry);
        auto existing = std::make_shared<RecordingSink>(MediaType(MajorType::Video));
        b.graph.AddFilter(existing, "existing");
        ASSERT_TRUE(b.graph.Render(b.source->outputAt(0)));
        EXPECT_EQ(b.peerOf(b.source->outputAt(0)), "existing");
        EXPECT_EQ(b.names().size(), 2u);
    }
    {
        // A decoder is inserted where no renderer takes the stream itself;
        // the failed tries leave nothing behind.
        Built b;
        b.registry->add(sinkFactory("rgb renderer", merit::Normal, rgbType()));
        b.registry->add(decoderFactory());
        b.graph.setRegistry(b.registry);
        ASSERT_TRUE(b.graph.Render(b.source->outputAt(0)));
        EXPECT_EQ(b.names(), (std::vector<std::string>{"source", "decoder", "rgb renderer"}));
        EXPECT_FALSE(b.graph.Render(b.source->outputAt(1))); // nothing takes audio
        EXPECT_EQ(b.names().size(), 3u);
        HangGuard guard(10s);
        ASSERT_TRUE(b.graph.Run());
        EXPECT_TRUE(b.log.waitFor(GraphEventCode::Complete, 2s));
        b.graph.Stop();
    }
}

TEST(GraphRender, RenderStreamSelectsTheMajorTypeAndGoesThroughTheIntermediate)
{
    Built b;
    b.registry->add(decoderFactory());
    b.graph.setRegistry(b.registry);
    auto audioSink = std::make_shared<RecordingSink>(MediaType(MajorType::Audio));
    auto counter = std::make_shared<CountingTransform>();
    auto rgbSink = std::make_shared<RecordingSink>(rgbType());
    b.graph.AddFilter(audioSink, "audio");
    b.graph.AddFilter(counter, "stamper");
    b.graph.AddFilter(rgbSink, "rgb");

    // The source filter: its outputs are tried in turn for the major type.
    ASSERT_TRUE(b.graph.RenderStream(MajorType::Audio, *b.source, nullptr, audioSink.get()));
    EXPECT_EQ(b.peerOf(b.source->outputAt(1)), "audio");
    EXPECT_FALSE(b.source->outputAt(0).isConnected());

    // source video -> in-place intermediate -> (decoder inserted) -> rgb sink
    ASSERT_TRUE(
        b.graph.RenderStream(std::nullopt, b.source->outputAt(0), counter.get(), rgbSink.get()));
    EXPECT_EQ(b.peerOf(b.source->outputAt(0)), "stamper");
    EXPECT_EQ(b.peerOf(counter->output()), "decoder");
    EXPECT_EQ(b.peerOf(rgbSink->input()), "decoder");

    // A connected source is not rendered again; a failed try is undone.
    EXPECT_FALSE(b.graph.RenderStream(std::nullopt, *b.source, nullptr, rgbSink.get()));
    EXPECT_EQ(b.names().size(), 5u);
}

// Multiplexer-like filters: inputs appear as connections are made.
class MuxLike final : public Filter
{
public:
    enum class Layout {
        OutputFirst, // output, then inputs; a free input at the end after each connection
        OutputLast,  // first input, then inputs added before the output
    };
    explicit MuxLike(Layout layout) : Filter("Mux"), m_layout(layout), m_output(*this, "Out")
    {
        addInput();
    }
    std::vector<Pin *> pins() override
    {
        std::vector<Pin *> list;
        if (m_layout == Layout::OutputFirst)
            list.push_back(&m_output);
        for (auto &in : m_inputs)
            list.push_back(in.get());
        if (m_layout == Layout::OutputLast)
            list.push_back(&m_output);
        return list;
    }
    bool checkPinType(const Pin &, const MediaType &) override { return true; }
    std::vector<MediaType> proposeTypes(const Pin &pin) override
    {
        if (&pin == &m_output)
            return {MediaType(MajorType::Stream, subtype::Avi)};
        return {};
    }
    void pinConnected(Pin &pin) override
    {
        if (pin.direction() == PinDirection::Input)
            addInput();
    }

private:
    void addInput()
    {
        m_inputs.push_back(
            std::make_unique<InputPin>(*this, "In " + std::to_string(m_inputs.size())));
    }
    Layout m_layout;
    OutputPin m_output;
    std::vector<std::unique_ptr<InputPin>> m_inputs;
};

TEST(GraphConnect, NoConnectionClosesALoop)
{
    // mux (a free input always) -> counter; the counter's output must not go
    // back into the mux, directly or by Render.
    Built b;
    auto sink = std::make_shared<RecordingSink>(MediaType(MajorType::Stream));
    b.registry->add(sinkFactory("renderer", merit::Normal, MediaType(MajorType::Stream)));
    b.graph.setRegistry(b.registry);
    auto mux = std::make_shared<MuxLike>(MuxLike::Layout::OutputFirst);
    auto counter = std::make_shared<CountingTransform>();
    b.graph.AddFilter(mux, "mux");
    b.graph.AddFilter(counter, "counter");
    ASSERT_TRUE(b.graph.Connect(*mux->pin(0), counter->input()));
    EXPECT_FALSE(b.graph.Connect(counter->output(), *mux->pin(1)));
    ASSERT_TRUE(b.graph.Render(counter->output()));
    EXPECT_EQ(b.peerOf(counter->output()), "renderer");
}

TEST(GraphConnect, PinListsFollowConnectionsOfMultiplexerLikeFilters)
{
    for (auto layout : {MuxLike::Layout::OutputFirst, MuxLike::Layout::OutputLast}) {
        Built b;
        auto mux = std::make_shared<MuxLike>(layout);
        b.graph.AddFilter(mux, "mux");
        const bool outputFirst = layout == MuxLike::Layout::OutputFirst;
        // Connect to the free input by position, re-reading the list as the
        // graph builders do: output first -> last pin; output last -> last but one.
        for (std::size_t stream = 0; stream < 2; ++stream) {
            auto pins = mux->pins();
            Pin *free = outputFirst ? pins.back() : pins[pins.size() - 2];
            ASSERT_TRUE(b.graph.Connect(b.source->outputAt(stream), *free));
        }
        auto pins = mux->pins();
        ASSERT_EQ(pins.size(), 4u);
        Pin *output = outputFirst ? pins.front() : pins.back();
        EXPECT_EQ(output->direction(), PinDirection::Output);
        EXPECT_EQ(b.peerOf(*pins[outputFirst ? 1 : 0]), "source");
        EXPECT_EQ(pins[outputFirst ? 1 : 0]->connectionType(), testVideoType());
        EXPECT_EQ(pins[outputFirst ? 2 : 1]->connectionType(), testAudioType());
        EXPECT_FALSE(pins[outputFirst ? 3 : 2]->isConnected());
    }
}

} // namespace
