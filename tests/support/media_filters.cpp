#include "support/media_filters.h"

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

MediaType testVideoType(std::int64_t frameDuration)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader.biWidth = kDv625.width;
    info.bmiHeader.biHeight = kDv625.height;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(kDv625.frameBytes);
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
    record.time = sample.time;
    record.mediaTime = sample.mediaTime;
    record.thread = std::this_thread::get_id();
    record.typeChange = sample.typeChange.has_value();
    if (auto *c = graph() ? graph()->syncSource() : nullptr)
        record.clockTime = c->now();
    {
        std::lock_guard lock(m_mutex);
        m_rendered.push_back(record);
    }
    m_changed.notify_all();
    return Flow::Ok;
}

void RecordingSink::OnReceiveFirstSample(const MediaSample &sample)
{
    std::lock_guard lock(m_mutex);
    m_cued.push_back(frameNumberOf(sample));
}

std::vector<RecordedSample> RecordingSink::rendered() const
{
    std::lock_guard lock(m_mutex);
    return m_rendered;
}

std::vector<int> RecordingSink::renderedFrames() const
{
    std::lock_guard lock(m_mutex);
    std::vector<int> frames;
    for (const auto &r : m_rendered)
        frames.push_back(r.frame);
    return frames;
}

std::vector<int> RecordingSink::cuedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_cued;
}

bool RecordingSink::waitForRendered(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_rendered.size() >= count; });
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

FilterHarness::FilterHarness(std::shared_ptr<Filter> filter, MemorySource::Options source,
                             MediaType sinkAccepts)
    : m_executor(std::make_shared<QueueEventExecutor>()),
      m_graph(std::make_unique<FilterGraph>(m_executor)),
      m_log(std::make_unique<EventLog>(*m_graph, m_executor)),
      m_source(std::make_shared<MemorySource>(std::move(source))),
      m_sink(std::make_shared<RecordingSink>(std::move(sinkAccepts)))
{
    Filter *raw = filter.get();
    m_graph->AddFilter(m_source, "source");
    m_graph->AddFilter(std::move(filter), "under test");
    m_graph->AddFilter(m_sink, "sink");
    auto inputs = raw->inputPins();
    auto outputs = raw->outputPins();
    m_connected = !inputs.empty() && !outputs.empty() &&
                  m_graph->ConnectDirect(m_source->outputAt(0), *inputs.front()) &&
                  m_graph->ConnectDirect(*outputs.front(), m_sink->input());
}

bool FilterHarness::runToCompletion(std::chrono::milliseconds timeout)
{
    if (!m_graph->Run())
        return false;
    const auto end = std::chrono::steady_clock::now() + timeout;
    bool complete = false;
    for (;;) {
        const auto codes = m_log->codes();
        complete = std::count(codes.begin(), codes.end(), GraphEventCode::Complete) > 0;
        if (complete || std::count(codes.begin(), codes.end(), GraphEventCode::ErrorAbort) > 0 ||
            std::chrono::steady_clock::now() > end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_graph->Stop();
    return complete;
}

} // namespace vidora::test
