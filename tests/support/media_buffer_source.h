#pragma once

// A test source that delivers given buffers as the samples of one stream:
// real DV frames, pictures or audio chunks, with times [i, i+1) × the frame
// duration (or the times given).
#include "formats/dvsystem.h"
#include "platform/media/splitter.h"

#include <QByteArray>

#include <atomic>
#include <optional>
#include <vector>

namespace vidora::test {

class BufferSource : public media::SplitterFilter
{
public:
    struct Options
    {
        media::MediaType type;
        std::vector<QByteArray> buffers;
        std::int64_t frameDuration = kDv625.frameDuration; // 100 ns
        std::vector<media::TimeRange> times;               // when given, one per buffer
        bool withTimes = true;                             // false: samples carry no times
        // Carried by the first sample: the stream's real format, told in-band.
        std::optional<media::MediaType> firstTypeChange;
        // The sample that carries it instead of the first (a change after
        // some data).
        std::size_t typeChangeAt = 0;
        // Zero bytes after each buffer's data in its sample (the AVI
        // splitter's read padding).
        std::size_t padding = 0;
    };
    explicit BufferSource(Options options);
    ~BufferSource() override;

    media::Flow GetNextSample(std::size_t stream, media::SamplePtr &sample) override;
    bool Seek(std::int64_t position) override;
    std::int64_t Duration() override;
    std::int64_t FrameDuration() override { return m_options.frameDuration; }
    std::vector<media::MediaType> OutputTypes(std::size_t stream) override;
    bool DecideBufferSize(std::size_t stream, media::Allocator &allocator) override;

private:
    media::TimeRange timeOf(std::size_t index) const;

    Options m_options;
    std::atomic<std::size_t> m_next{0};
};

// Consecutive DV frames of a raw DV file (144000 bytes PAL, 120000 NTSC,
// told by the first frame's header).
std::vector<QByteArray> splitDvFrames(const QByteArray &file);

} // namespace vidora::test
