#include "support/media_filters.h"

#include "platform/media/filters/ffmpeg_support.h"

#include <cstring>
#include <stdexcept>

namespace vidora::test {

using namespace media;

int frameNumberOf(const MediaSample &sample)
{
    if (sample.actualLength() < 4)
        return -1;
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<std::uint32_t>(sample.data()[i]) << (8 * i);
    return static_cast<int>(n);
}

std::vector<std::string> pinNames(Filter &filter)
{
    std::vector<std::string> names;
    for (Pin *p : filter.pins())
        names.push_back(p->name());
    return names;
}

std::vector<int> frameNumbers(int first, int last)
{
    std::vector<int> numbers;
    for (int i = first; i <= last; ++i)
        numbers.push_back(i);
    return numbers;
}

MediaType testVideoType(std::int64_t frameDuration, bool pal)
{
    const DvSystem &system = pal ? kDv625 : kDv525;
    VideoInfoHeader info;
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader.biWidth = system.width;
    info.bmiHeader.biHeight = system.height;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(system.frameBytes);
    return MediaType::video(subtype::Dvsd, info);
}

MediaType testAudioType()
{
    WaveFormatEx wave;
    wave.nChannels = 2;
    wave.nSamplesPerSec = 48000;
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = 4;
    wave.nAvgBytesPerSec = 192000;
    return MediaType::audio(wave);
}

MediaType dvInterleavedType()
{
    return MediaType::interleaved(subtype::Dvsd, DvInfo{});
}

MediaType rgb24Type(int width, int height, std::int64_t frameDuration)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(ffmpeg::rgb24ImageSize(width, height));
    MediaType type = MediaType::video(subtype::Rgb24, info);
    type.fixedSizeSamples = true;
    type.sampleSize = info.bmiHeader.biSizeImage;
    return type;
}

MemorySource::MemorySource(Options options)
    : SplitterFilter("Memory Source"), m_options(std::move(options))
{
    for (std::size_t i = 0; i < m_options.streams.size(); ++i) {
        addOutput(m_options.streams.size() == 1 ? "Out" : "Out " + std::to_string(i));
        m_next.push_back(std::make_unique<std::atomic<int>>(0));
    }
}

MemorySource::~MemorySource()
{
    // Threads end before the members they read go away.
    BeginStop();
    JoinStreaming();
}

Flow MemorySource::GetNextSample(std::size_t stream, SamplePtr &sample)
{
    const int frame = m_next[stream]->load();
    if (frame >= m_options.frameCount)
        return Flow::EndOfStream;
    if (frame == m_options.failAtFrame)
        return Flow::Error;
    const Flow got = streamAllocator(stream)->getBuffer(sample);
    if (got != Flow::Ok)
        return got;
    m_next[stream]->store(frame + 1);
    sample->setActualLength(m_options.frameSize);
    if (m_options.frameSize >= 4)
        for (int i = 0; i < 4; ++i)
            sample->data()[i] =
                static_cast<std::uint8_t>(static_cast<std::uint32_t>(frame) >> (8 * i));
    const std::int64_t d = m_options.frameDuration;
    sample->time = TimeRange{frame * d, (frame + 1) * d};
    sample->mediaTime = TimeRange{frame, frame + 1};
    sample->syncPoint = true;
    if (frame == m_options.typeChangeAtFrame)
        sample->typeChange = m_options.streams.at(stream);
    m_produced.fetch_add(1);
    return Flow::Ok;
}

bool MemorySource::Seek(std::int64_t position)
{
    const auto frame = static_cast<int>(position / m_options.frameDuration);
    for (auto &next : m_next)
        next->store(frame);
    return true;
}

std::int64_t MemorySource::Duration()
{
    return m_options.frameCount * m_options.frameDuration;
}

std::int64_t MemorySource::FrameDuration()
{
    return m_options.frameDuration;
}

std::vector<MediaType> MemorySource::OutputTypes(std::size_t stream)
{
    return {m_options.streams.at(stream)};
}

bool MemorySource::DecideBufferSize(std::size_t, Allocator &allocator)
{
    const auto granted = allocator.setProperties({m_options.bufferCount, m_options.frameSize, 16});
    return granted && granted->size >= m_options.frameSize;
}

RecordingSink::RecordingSink(MediaType accepts, std::string objectName)
    : RendererFilter(std::move(objectName)), m_accepts(std::move(accepts))
{}

Flow RecordingSink::DoRenderSample(const MediaSample &sample)
{
    if (onRender) {
        const Flow result = onRender(sample);
        if (result != Flow::Ok)
            return result;
    }
    RecordedSample record;
    record.frame = frameNumberOf(sample);
    if (keepBytes)
        record.bytes = QByteArray(reinterpret_cast<const char *>(sample.data()),
                                  static_cast<qsizetype>(sample.actualLength()));
    record.time = sample.time;
    record.mediaTime = sample.mediaTime;
    record.thread = std::this_thread::get_id();
    record.typeChange = sample.typeChange;
    if (auto *c = graph() ? graph()->syncSource() : nullptr)
        record.clockTime = c->now();
    m_rendered.add(std::move(record));
    return Flow::Ok;
}

void RecordingSink::OnReceiveFirstSample(const MediaSample &sample)
{
    m_cued.add(frameNumberOf(sample));
}

std::vector<int> RecordingSink::renderedFrames() const
{
    std::vector<int> frames;
    for (const auto &r : m_rendered.items())
        frames.push_back(r.frame);
    return frames;
}

std::vector<QByteArray> RecordingSink::samples() const
{
    std::vector<QByteArray> bytes;
    for (const auto &r : m_rendered.items())
        bytes.push_back(r.bytes);
    return bytes;
}

QByteArray RecordingSink::joined() const
{
    QByteArray all;
    for (const auto &r : m_rendered.items())
        all += r.bytes;
    return all;
}

std::vector<std::optional<TimeRange>> RecordingSink::times() const
{
    std::vector<std::optional<TimeRange>> times;
    for (const auto &r : m_rendered.items())
        times.push_back(r.time);
    return times;
}

std::vector<std::optional<MediaType>> RecordingSink::typeChanges() const
{
    std::vector<std::optional<MediaType>> changes;
    for (const auto &r : m_rendered.items())
        changes.push_back(r.typeChange);
    return changes;
}

void RecordingVideoSink::presentFrame(VideoFrame frame)
{
    const std::int64_t clockTime = m_clock ? m_clock->now() : -1;
    m_frames.add({std::move(frame), clockTime});
}

CountingTransform::CountingTransform(bool modifiesData, std::string objectName)
    : InPlaceTransformFilter(std::move(objectName), modifiesData)
{}

bool CountingTransform::CheckInputType(const MediaType &type)
{
    return type.matches(accepts);
}

Flow CountingTransform::Transform(MediaSample &sample)
{
    m_inTransform.fetch_add(1);
    const int frame = frameNumberOf(sample);
    {
        std::lock_guard lock(m_mutex);
        m_frames.push_back(frame);
    }
    m_count.fetch_add(1);
    Flow result = Flow::Ok;
    if (frame == throwAtFrame.load()) {
        m_inTransform.fetch_sub(1);
        throw std::runtime_error("frame " + std::to_string(frame) + " thrown");
    }
    if (frame == failAtFrame.load())
        result = Flow::Error;
    else if (writeByte.load() >= 0 && sample.actualLength() > 4)
        sample.data()[4] = static_cast<std::uint8_t>(writeByte.load());
    m_inTransform.fetch_sub(1);
    return result;
}

bool CountingTransform::StartStreaming()
{
    if (throwInStartStreaming)
        throw std::runtime_error("cannot start");
    ++startCount;
    return true;
}

void CountingTransform::StopStreaming()
{
    ++stopStreamingCount;
}

void CountingTransform::Stop()
{
    stopThread = std::this_thread::get_id();
    streamingWhenStopped = m_inTransform.load() != 0;
    if (onStop)
        onStop();
    InPlaceTransformFilter::Stop();
    if (throwInStop)
        throw std::runtime_error("cannot stop");
}

std::vector<int> CountingTransform::frames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

EventLog::EventLog(FilterGraph &graph, std::shared_ptr<QueueEventExecutor> executor)
    : m_executor(std::move(executor)), m_events(std::make_shared<std::vector<GraphEvent>>())
{
    graph.setEventHandler([events = m_events](const GraphEvent &e) { events->push_back(e); });
}

std::vector<GraphEventCode> EventLog::codes()
{
    m_executor->runPending();
    std::vector<GraphEventCode> list;
    for (const auto &e : *m_events)
        list.push_back(e.code);
    return list;
}

int EventLog::count(GraphEventCode code)
{
    int n = 0;
    for (auto c : codes())
        n += c == code ? 1 : 0;
    return n;
}

bool EventLog::waitFor(GraphEventCode code, std::chrono::milliseconds timeout, int times)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (count(code) < times) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool EventLog::waitForAny(std::initializer_list<GraphEventCode> codes,
                          std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const GraphEventCode code : codes)
            if (count(code) > 0)
                return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool TestGraph::run(std::chrono::milliseconds timeout)
{
    const int completedBefore = log.count(GraphEventCode::Complete);
    const int errorsBefore = log.count(GraphEventCode::ErrorAbort);
    if (!graph.Run())
        return false;
    const auto end = std::chrono::steady_clock::now() + timeout;
    bool complete = false;
    while (std::chrono::steady_clock::now() < end) {
        if (log.count(GraphEventCode::ErrorAbort) > errorsBefore)
            break;
        if (log.count(GraphEventCode::Complete) > completedBefore) {
            complete = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    graph.Stop();
    return complete;
}

FilterHarness::FilterHarness(std::shared_ptr<Filter> filter, MemorySource::Options source,
                             MediaType sinkAccepts)
    : m_source(std::make_shared<MemorySource>(std::move(source))),
      m_sink(std::make_shared<RecordingSink>(std::move(sinkAccepts)))
{
    connect({std::move(filter)}, m_sink, false);
}

FilterHarness::FilterHarness(MediaType type, std::vector<QByteArray> samples,
                             std::vector<std::shared_ptr<Filter>> chain,
                             std::shared_ptr<Filter> sink)
    : m_source(std::make_shared<BufferSource>(BufferSource::Stream{
          .type = std::move(type), .buffers = std::move(samples), .bufferCount = 2}))
{
    if (!sink) {
        m_sink = std::make_shared<RecordingSink>();
        sink = m_sink;
    }
    connect(std::move(chain), std::move(sink), true);
}

void FilterHarness::connect(std::vector<std::shared_ptr<Filter>> chain,
                            std::shared_ptr<Filter> sink, bool numbered)
{
    FilterGraph &g = m_graph.graph;
    g.AddFilter(m_source, "source");
    OutputPin *upstream = &m_source->outputAt(0);
    m_connected = true;
    int index = 0;
    for (const auto &filter : chain) {
        g.AddFilter(filter, numbered ? "filter " + std::to_string(index++) : "under test");
        auto inputs = filter->inputPins();
        auto outputs = filter->outputPins();
        m_connected = m_connected && !inputs.empty() && !outputs.empty() &&
                      g.ConnectDirect(*upstream, *inputs.front());
        if (!outputs.empty())
            upstream = outputs.front();
    }
    g.AddFilter(sink, "sink");
    m_connected = m_connected && g.ConnectDirect(*upstream, *sink->inputPins().front());
}

std::vector<QByteArray> FilterHarness::received() const
{
    return m_sink ? m_sink->samples() : std::vector<QByteArray>{};
}

} // namespace vidora::test
