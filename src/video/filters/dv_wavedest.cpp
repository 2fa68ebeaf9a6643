#include "video/filters/dv_wavedest.h"

#include "platform/media/interfaces.h"

#include <cstring>

namespace vidora {

namespace {

// Positional writes through a downstream pin's IStream.
class StreamWriter final : public PositionalWriter
{
public:
    explicit StreamWriter(media::IStream &stream) : m_stream(stream) {}

    bool writeAt(qint64 position, std::span<const std::uint8_t> bytes) override
    {
        return m_stream.Seek(position) && m_stream.Write(bytes.data(), bytes.size());
    }

private:
    media::IStream &m_stream;
};

} // namespace

Tdv_WaveDest::Tdv_WaveDest(std::uint64_t maxFileBytes)
    : TransformFilter(kObjectName, "in", "Out"), m_core(maxFileBytes)
{}

bool Tdv_WaveDest::CheckInputType(const media::MediaType &type)
{
    return type.formatType() == media::FormatType::WaveFormatEx &&
           WaveDestCore::formatAccepted(type.format());
}

bool Tdv_WaveDest::CheckTransform(const media::MediaType &in, const media::MediaType &out)
{
    return CheckInputType(in) && out.major() == media::MajorType::Stream &&
           out.subtype() == media::subtype::Wave;
}

std::optional<media::MediaType> Tdv_WaveDest::GetMediaType(int position)
{
    if (position != 0)
        return std::nullopt;
    return media::MediaType(media::MajorType::Stream, media::subtype::Wave);
}

bool Tdv_WaveDest::DecideBufferSize(media::Allocator &allocator,
                                    const media::AllocatorProperties &input)
{
    if (!this->input().isConnected())
        return false;
    const media::AllocatorProperties request{1, input.size, 1};
    const auto granted = allocator.setProperties(request);
    return granted && granted->count >= request.count && granted->size >= request.size;
}

bool Tdv_WaveDest::StartStreaming()
{
    return m_core.startStreaming(input().connectionType().format());
}

void Tdv_WaveDest::StopStreaming()
{
    media::IStream *stream = nullptr;
    if (media::Pin *peer = output().peer())
        stream = peer->queryInterface<media::IStream>();
    if (stream == nullptr) {
        reportError(name() + ": the WAVE header cannot be written: the output has no stream");
        return;
    }
    StreamWriter writer(*stream);
    if (!m_core.stopStreaming(&writer))
        reportError(name() + ": " + m_core.errorMessage().toStdString());
}

media::Flow Tdv_WaveDest::Receive(const media::SamplePtr &sample)
{
    // A format corrected in-band before any audio (a converter set to a new
    // rate, a DV stream whose DVINFO disagrees with its frames) is the one
    // the header describes. The header has one format for the whole file, so
    // a change after audio was written cannot be described.
    if (sample->typeChange) {
        const media::MediaType &type = *sample->typeChange;
        if (!CheckInputType(type)) {
            reportError(name() + ": the sound changed to a format a WAVE file cannot hold");
            return media::Flow::Error;
        }
        if (type.format() != m_core.format()) {
            if (m_core.dataBytes() != 0) {
                reportError(name() + ": the sound format changed within the stream");
                return media::Flow::Error;
            }
            if (!m_core.startStreaming(type.format())) {
                reportError(name() + ": " + m_core.errorMessage().toStdString());
                return media::Flow::Error;
            }
        }
    }
    const std::uint32_t counted = m_core.dataBytes();
    const media::Flow result = TransformFilter::Receive(sample);
    if (result != media::Flow::Ok)
        m_core.rewind(counted);
    return result;
}

media::Flow Tdv_WaveDest::Transform(const media::MediaSample &in, media::MediaSample &out)
{
    const std::size_t length = in.actualLength();
    if (!out.setActualLength(length))
        return media::Flow::Error;
    if (length > 0)
        std::memcpy(out.data(), in.data(), length);
    WaveDestCore::Placement placement;
    if (!m_core.place(length, placement)) {
        reportError(name() + ": " + m_core.errorMessage().toStdString());
        return media::Flow::Error;
    }
    out.time = media::TimeRange{static_cast<std::int64_t>(placement.start),
                                static_cast<std::int64_t>(placement.stop)};
    return media::Flow::Ok;
}

} // namespace vidora
