#pragma once

// A graph for the program's filters: a source of given sample contents, a
// chain of filters, and a sink that records what reaches it byte for byte.
#include "support/media_filters.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace vidora::test {

// A memory source whose samples carry the given bytes (sample i holds
// samples[i]; lengths may differ), with the times and media times of a
// MemorySource.
class ContentSource final : public MemorySource
{
public:
    ContentSource(media::MediaType type, std::vector<QByteArray> samples,
                  std::int64_t frameDuration = 400000);
    media::Flow GetNextSample(std::size_t stream, media::SamplePtr &sample) override;

private:
    std::vector<QByteArray> m_samples;
};

// source → chain[0] → … → chain[n−1] → sink, connected directly. The sink is
// a RecordingSink accepting anything unless one is given.
class FilterChain
{
public:
    FilterChain(media::MediaType type, std::vector<QByteArray> samples,
                std::vector<std::shared_ptr<media::Filter>> chain,
                std::shared_ptr<media::Filter> sink = nullptr);

    bool connected() const { return m_connected; }
    media::FilterGraph &graph() { return *m_graph; }
    EventLog &events() { return *m_log; }
    // The bytes of every sample the recording sink rendered, in order.
    std::vector<QByteArray> received() const;
    // Run until this run's Complete or ErrorAbort (or the time-out), then
    // Stop; true when Complete came.
    bool run(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    std::shared_ptr<media::QueueEventExecutor> m_executor;
    std::unique_ptr<media::FilterGraph> m_graph;
    std::unique_ptr<EventLog> m_log;
    std::shared_ptr<std::vector<QByteArray>> m_received;
    std::shared_ptr<std::mutex> m_receivedLock;
    bool m_connected = false;
};

// Video/dvsd with a VIDEOINFOHEADER stating the frame duration; an
// interleaved DV type with a DV info block (no duration).
media::MediaType dvVideoType(std::int64_t frameDuration, bool pal = true);
media::MediaType dvInterleavedType();
// Video/RGB24 bottom-up pictures of the size, with the padded image size.
media::MediaType rgb24Type(int width, int height, std::int64_t frameDuration = 400000);

} // namespace vidora::test
