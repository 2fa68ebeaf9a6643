#include "support/media_buffer_source.h"

#include <algorithm>
#include <cstring>

namespace vidora::test {

using namespace media;

BufferSource::BufferSource(Stream stream) : BufferSource(std::vector<Stream>{std::move(stream)}) {}

BufferSource::BufferSource(std::vector<Stream> streams)
    : SplitterFilter("Buffer Source"), m_streams(std::move(streams))
{
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        addOutput(m_streams.size() == 1 ? "Out" : "Out " + std::to_string(i));
        m_next.push_back(std::make_unique<std::atomic<std::size_t>>(0));
    }
}

BufferSource::~BufferSource()
{
    // Threads end before the members they read go away.
    BeginStop();
    JoinStreaming();
}

TimeRange BufferSource::timeOf(const Stream &stream, std::size_t index) const
{
    if (index < stream.times.size())
        return stream.times[index];
    const auto i = static_cast<std::int64_t>(index);
    return {i * stream.frameDuration, (i + 1) * stream.frameDuration};
}

Flow BufferSource::GetNextSample(std::size_t stream, SamplePtr &sample)
{
    const Stream &s = m_streams.at(stream);
    const std::size_t index = m_next[stream]->load();
    if (index >= s.buffers.size())
        return Flow::EndOfStream;
    const Flow got = streamAllocator(stream)->getBuffer(sample);
    if (got != Flow::Ok)
        return got;
    m_next[stream]->store(index + 1);
    const QByteArray &data = s.buffers[index];
    std::memcpy(sample->data(), data.constData(), static_cast<std::size_t>(data.size()));
    std::memset(sample->data() + data.size(), 0, s.padding);
    sample->setActualLength(static_cast<std::size_t>(data.size()));
    if (s.withTimes)
        sample->time = timeOf(s, index);
    sample->mediaTime =
        TimeRange{static_cast<std::int64_t>(index), static_cast<std::int64_t>(index) + 1};
    sample->syncPoint = true;
    if (const auto found = s.typeChanges.find(index); found != s.typeChanges.end())
        sample->typeChange = found->second;
    else
        sample->typeChange.reset();
    return Flow::Ok;
}

bool BufferSource::Seek(std::int64_t position)
{
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        const Stream &s = m_streams[i];
        std::size_t index = 0;
        while (index < s.buffers.size() && timeOf(s, index).stop <= position)
            ++index;
        m_next[i]->store(index);
    }
    return true;
}

std::int64_t BufferSource::Duration()
{
    std::int64_t longest = 0;
    for (const Stream &s : m_streams)
        if (!s.buffers.empty())
            longest = std::max(longest, timeOf(s, s.buffers.size() - 1).stop);
    return longest;
}

std::int64_t BufferSource::FrameDuration()
{
    return m_streams.empty() ? 0 : m_streams.front().frameDuration;
}

std::vector<MediaType> BufferSource::OutputTypes(std::size_t stream)
{
    return {m_streams.at(stream).type};
}

bool BufferSource::DecideBufferSize(std::size_t stream, Allocator &allocator)
{
    const Stream &s = m_streams.at(stream);
    std::size_t largest = 1;
    for (const auto &b : s.buffers)
        largest = std::max(largest, static_cast<std::size_t>(b.size()));
    const auto granted = allocator.setProperties({s.bufferCount, largest + s.padding, 16});
    return granted && granted->size >= largest + s.padding;
}

std::vector<QByteArray> splitDvFrames(const QByteArray &file)
{
    std::vector<QByteArray> frames;
    if (file.size() < 4)
        return frames;
    // Header block, byte 3 bit 7: 50-field system (PAL).
    const bool is525 = (static_cast<std::uint8_t>(file[3]) & 0x80) == 0;
    const auto frameSize = static_cast<qsizetype>(DvSystemByLines(is525).frameBytes);
    for (qsizetype at = 0; at + frameSize <= file.size(); at += frameSize)
        frames.push_back(file.mid(at, frameSize));
    return frames;
}

} // namespace vidora::test
