#include "filter_chain.h"

#include "video/filters/rgb24picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vidora::test {

using namespace vidora::media;

namespace {

std::size_t largest(const std::vector<QByteArray> &samples)
{
    std::size_t size = 1;
    for (const QByteArray &s : samples)
        size = std::max(size, static_cast<std::size_t>(s.size()));
    return size;
}

} // namespace

ContentSource::ContentSource(MediaType type, std::vector<QByteArray> samples,
                             std::int64_t frameDuration)
    : MemorySource({.streams = {std::move(type)},
                    .frameCount = static_cast<int>(samples.size()),
                    .frameSize = largest(samples),
                    .frameDuration = frameDuration,
                    .bufferCount = 2}),
      m_samples(std::move(samples))
{}

Flow ContentSource::GetNextSample(std::size_t stream, SamplePtr &sample)
{
    const Flow got = MemorySource::GetNextSample(stream, sample);
    if (got != Flow::Ok)
        return got;
    const QByteArray &bytes = m_samples.at(static_cast<std::size_t>(sample->mediaTime->start));
    sample->setActualLength(static_cast<std::size_t>(bytes.size()));
    std::memcpy(sample->data(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return Flow::Ok;
}

FilterChain::FilterChain(MediaType type, std::vector<QByteArray> samples,
                         std::vector<std::shared_ptr<Filter>> chain, std::shared_ptr<Filter> sink)
    : m_executor(std::make_shared<QueueEventExecutor>()),
      m_graph(std::make_unique<FilterGraph>(m_executor)),
      m_log(std::make_unique<EventLog>(*m_graph, m_executor)),
      m_received(std::make_shared<std::vector<QByteArray>>()),
      m_receivedLock(std::make_shared<std::mutex>())
{
    auto source = std::make_shared<ContentSource>(std::move(type), std::move(samples));
    if (!sink) {
        auto recorder = std::make_shared<RecordingSink>();
        recorder->onRender = [received = m_received, lock = m_receivedLock](const MediaSample &s) {
            const std::lock_guard guard(*lock);
            received->emplace_back(reinterpret_cast<const char *>(s.data()),
                                   static_cast<qsizetype>(s.actualLength()));
            return Flow::Ok;
        };
        sink = recorder;
    }
    m_graph->AddFilter(source, "source");
    OutputPin *upstream = &source->outputAt(0);
    m_connected = true;
    int index = 0;
    for (const auto &filter : chain) {
        m_graph->AddFilter(filter, "filter " + std::to_string(index++));
        auto inputs = filter->inputPins();
        auto outputs = filter->outputPins();
        m_connected = m_connected && !inputs.empty() && !outputs.empty() &&
                      m_graph->ConnectDirect(*upstream, *inputs.front());
        if (!outputs.empty())
            upstream = outputs.front();
    }
    m_graph->AddFilter(sink, "sink");
    m_connected = m_connected && m_graph->ConnectDirect(*upstream, *sink->inputPins().front());
}

std::vector<QByteArray> FilterChain::received() const
{
    const std::lock_guard guard(*m_receivedLock);
    return *m_received;
}

bool FilterChain::run(std::chrono::milliseconds timeout)
{
    const int completedBefore = m_log->count(GraphEventCode::Complete);
    const int errorsBefore = m_log->count(GraphEventCode::ErrorAbort);
    if (!m_graph->Run())
        return false;
    const auto end = std::chrono::steady_clock::now() + timeout;
    bool complete = false;
    while (std::chrono::steady_clock::now() < end) {
        if (m_log->count(GraphEventCode::ErrorAbort) > errorsBefore)
            break;
        if (m_log->count(GraphEventCode::Complete) > completedBefore) {
            complete = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_graph->Stop();
    return complete;
}

MediaType dvVideoType(std::int64_t frameDuration, bool pal)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader.biWidth = 720;
    info.bmiHeader.biHeight = pal ? 576 : 480;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biSizeImage = pal ? 144000 : 120000;
    return MediaType::video(subtype::Dvsd, info);
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
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(Rgb24ImageSize(width, height));
    MediaType type = MediaType::video(subtype::Rgb24, info);
    type.fixedSizeSamples = true;
    type.sampleSize = info.bmiHeader.biSizeImage;
    return type;
}

} // namespace vidora::test
