#include "support/media_buffer_source.h"

#include <algorithm>
#include <cstring>

namespace vidora::test {

using namespace media;

BufferSource::BufferSource(Options options)
    : SplitterFilter("Buffer Source"), m_options(std::move(options))
{
    addOutput("Out");
}

BufferSource::~BufferSource()
{
    BeginStop();
    JoinStreaming();
}

TimeRange BufferSource::timeOf(std::size_t index) const
{
    if (index < m_options.times.size())
        return m_options.times[index];
    const auto i = static_cast<std::int64_t>(index);
    return {i * m_options.frameDuration, (i + 1) * m_options.frameDuration};
}

Flow BufferSource::GetNextSample(std::size_t, SamplePtr &sample)
{
    const std::size_t index = m_next.load();
    if (index >= m_options.buffers.size())
        return Flow::EndOfStream;
    const Flow got = streamAllocator(0)->getBuffer(sample);
    if (got != Flow::Ok)
        return got;
    m_next.store(index + 1);
    const QByteArray &data = m_options.buffers[index];
    std::memcpy(sample->data(), data.constData(), static_cast<std::size_t>(data.size()));
    std::memset(sample->data() + data.size(), 0, m_options.padding);
    sample->setActualLength(static_cast<std::size_t>(data.size()));
    if (m_options.withTimes)
        sample->time = timeOf(index);
    sample->mediaTime =
        TimeRange{static_cast<std::int64_t>(index), static_cast<std::int64_t>(index) + 1};
    sample->syncPoint = true;
    if (index == m_options.typeChangeAt)
        sample->typeChange = m_options.firstTypeChange;
    else
        sample->typeChange.reset();
    return Flow::Ok;
}

bool BufferSource::Seek(std::int64_t position)
{
    std::size_t index = 0;
    while (index < m_options.buffers.size() && timeOf(index).stop <= position)
        ++index;
    m_next.store(index);
    return true;
}

std::int64_t BufferSource::Duration()
{
    return m_options.buffers.empty() ? 0 : timeOf(m_options.buffers.size() - 1).stop;
}

std::vector<MediaType> BufferSource::OutputTypes(std::size_t)
{
    return {m_options.type};
}

bool BufferSource::DecideBufferSize(std::size_t, Allocator &allocator)
{
    std::size_t largest = 1;
    for (const auto &b : m_options.buffers)
        largest = std::max(largest, static_cast<std::size_t>(b.size()));
    const auto granted = allocator.setProperties({4, largest + m_options.padding, 16});
    return granted && granted->size >= largest + m_options.padding;
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
