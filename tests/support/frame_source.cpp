#include "support/frame_source.h"

#include <algorithm>

namespace vidora::test {

using namespace media;

FrameSource::FrameSource(std::vector<Stream> streams)
    : SplitterFilter("Frame Source"), m_streams(std::move(streams))
{
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        addOutput("Out " + std::to_string(i));
        m_next.push_back(std::make_unique<std::atomic<std::size_t>>(0));
    }
}

FrameSource::~FrameSource()
{
    BeginStop();
    JoinStreaming();
}

void FrameSource::announce(std::size_t stream, std::size_t index, MediaType type)
{
    m_announced.insert_or_assign({stream, index}, std::move(type));
}

Flow FrameSource::GetNextSample(std::size_t stream, SamplePtr &sample)
{
    const auto &s = m_streams.at(stream);
    const std::size_t i = m_next[stream]->load();
    if (i >= s.frames.size())
        return Flow::EndOfStream;
    const Flow got = streamAllocator(stream)->getBuffer(sample);
    if (got != Flow::Ok)
        return got;
    m_next[stream]->store(i + 1);
    const Bytes &bytes = s.frames[i];
    std::copy(bytes.begin(), bytes.end(), sample->data());
    sample->setActualLength(bytes.size());
    const auto n = static_cast<std::int64_t>(i);
    sample->time = TimeRange{n * s.frameDuration, (n + 1) * s.frameDuration};
    sample->mediaTime = TimeRange{n, n + 1};
    sample->syncPoint = true;
    if (const auto found = m_announced.find({stream, i}); found != m_announced.end())
        sample->typeChange = found->second;
    return Flow::Ok;
}

bool FrameSource::Seek(std::int64_t position)
{
    for (std::size_t i = 0; i < m_streams.size(); ++i)
        m_next[i]->store(static_cast<std::size_t>(position / m_streams[i].frameDuration));
    return true;
}

std::int64_t FrameSource::Duration()
{
    std::int64_t longest = 0;
    for (const auto &s : m_streams)
        longest = std::max(longest, static_cast<std::int64_t>(s.frames.size()) * s.frameDuration);
    return longest;
}

std::int64_t FrameSource::FrameDuration()
{
    return m_streams.empty() ? 0 : m_streams.front().frameDuration;
}

std::vector<MediaType> FrameSource::OutputTypes(std::size_t stream)
{
    return {m_streams.at(stream).type};
}

bool FrameSource::DecideBufferSize(std::size_t stream, Allocator &allocator)
{
    std::size_t largest = 1;
    for (const auto &f : m_streams.at(stream).frames)
        largest = std::max(largest, f.size());
    const auto granted = allocator.setProperties({4, largest, 16});
    return granted && granted->size >= largest;
}

ByteSink::ByteSink(MediaType accepts) : RendererFilter("Byte Sink"), m_accepts(std::move(accepts))
{}

Flow ByteSink::DoRenderSample(const MediaSample &sample)
{
    std::lock_guard lock(m_mutex);
    m_samples.emplace_back(sample.data(), sample.data() + sample.actualLength());
    m_times.push_back(sample.time);
    m_typeChanges.push_back(sample.typeChange);
    return Flow::Ok;
}

std::vector<Bytes> ByteSink::samples() const
{
    std::lock_guard lock(m_mutex);
    return m_samples;
}

Bytes ByteSink::joined() const
{
    std::lock_guard lock(m_mutex);
    Bytes all;
    for (const auto &s : m_samples)
        all.insert(all.end(), s.begin(), s.end());
    return all;
}

std::vector<std::optional<TimeRange>> ByteSink::times() const
{
    std::lock_guard lock(m_mutex);
    return m_times;
}

std::vector<std::optional<MediaType>> ByteSink::typeChanges() const
{
    std::lock_guard lock(m_mutex);
    return m_typeChanges;
}

} // namespace vidora::test
