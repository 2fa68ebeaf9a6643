#pragma once

// A source of given byte buffers, one stream each, for filters that read
// the data they receive (DV frames, PCM). Sample i carries buffer i with the
// time [i, i+1) × frameDuration and the media time [i, i+1); a recording
// sink collects what comes out.
#include "formats/dvsystem.h"
#include "platform/media/renderer.h"
#include "platform/media/splitter.h"

#include <map>
#include <mutex>
#include <vector>

namespace vidora::test {

using Bytes = std::vector<std::uint8_t>;

class FrameSource : public media::SplitterFilter
{
public:
    struct Stream
    {
        media::MediaType type;
        std::vector<Bytes> frames;
        std::int64_t frameDuration = kDv625.frameDuration;
    };
    explicit FrameSource(std::vector<Stream> streams);
    ~FrameSource() override;
    // Sample `index` of `stream` carries `type` as its type change. Before
    // the graph runs.
    void announce(std::size_t stream, std::size_t index, media::MediaType type);

    media::Flow GetNextSample(std::size_t stream, media::SamplePtr &sample) override;
    bool Seek(std::int64_t position) override;
    std::int64_t Duration() override;
    std::int64_t FrameDuration() override;
    std::vector<media::MediaType> OutputTypes(std::size_t stream) override;
    bool DecideBufferSize(std::size_t stream, media::Allocator &allocator) override;

private:
    std::vector<Stream> m_streams;
    std::map<std::pair<std::size_t, std::size_t>, media::MediaType> m_announced;
    std::vector<std::unique_ptr<std::atomic<std::size_t>>> m_next;
};

// A renderer that keeps the bytes, times and type changes of every sample.
class ByteSink : public media::RendererFilter
{
public:
    explicit ByteSink(media::MediaType accepts = media::MediaType());
    bool CheckInputType(const media::MediaType &type) override { return type.matches(m_accepts); }
    media::Flow DoRenderSample(const media::MediaSample &sample) override;

    std::vector<Bytes> samples() const;
    Bytes joined() const;
    std::vector<std::optional<media::TimeRange>> times() const;
    std::vector<std::optional<media::MediaType>> typeChanges() const;

private:
    media::MediaType m_accepts;
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_samples; // guarded by m_mutex
    std::vector<std::optional<media::TimeRange>> m_times;
    std::vector<std::optional<media::MediaType>> m_typeChanges;
};

} // namespace vidora::test
