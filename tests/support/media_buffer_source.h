#pragma once

// A test source that delivers given buffers as the samples of its streams:
// real DV frames, pictures or audio chunks. Sample i of a stream carries
// buffer i with the time [i, i+1) × the stream's frame duration (or the
// times given) and the media time [i, i+1); any sample may carry a type
// change. A RecordingSink collects what comes out.
#include "formats/dvsystem.h"
#include "platform/media/splitter.h"

#include <QByteArray>

#include <atomic>
#include <map>
#include <memory>
#include <vector>

namespace vidora::test {

class BufferSource : public media::SplitterFilter
{
public:
    struct Stream
    {
        media::MediaType type;
        std::vector<QByteArray> buffers;
        std::int64_t frameDuration = kDv625.frameDuration; // 100 ns
        std::vector<media::TimeRange> times{};             // when given, one per buffer
        bool withTimes = true;                             // false: samples carry no times
        std::size_t bufferCount = 4;                       // of the stream's allocator
        // Sample index → the type that sample carries as a type change: the
        // stream's real format, told in-band.
        std::map<std::size_t, media::MediaType> typeChanges{};
        // Zero bytes after each buffer's data in its sample (the AVI
        // splitter's read padding).
        std::size_t padding = 0;
    };
    explicit BufferSource(Stream stream);
    explicit BufferSource(std::vector<Stream> streams);
    ~BufferSource() override;

    media::Flow GetNextSample(std::size_t stream, media::SamplePtr &sample) override;
    bool Seek(std::int64_t position) override;
    std::int64_t Duration() override;
    std::int64_t FrameDuration() override;
    std::vector<media::MediaType> OutputTypes(std::size_t stream) override;
    bool DecideBufferSize(std::size_t stream, media::Allocator &allocator) override;

private:
    media::TimeRange timeOf(const Stream &stream, std::size_t index) const;

    std::vector<Stream> m_streams;
    std::vector<std::unique_ptr<std::atomic<std::size_t>>> m_next; // per stream
};

// Consecutive DV frames of a raw DV file (144000 bytes PAL, 120000 NTSC,
// told by the first frame's header).
std::vector<QByteArray> splitDvFrames(const QByteArray &file);

} // namespace vidora::test
