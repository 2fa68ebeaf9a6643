#include "platform/media/seeking.h"

namespace vidora::media {

bool SeekingAdapter::IsFormatSupported(TimeFormat format) const
{
    return format == TimeFormat::MediaTime || m_target.frameDuration() > 0;
}

bool SeekingAdapter::SetTimeFormat(TimeFormat format)
{
    if (!IsFormatSupported(format))
        return false;
    m_format = format;
    return true;
}

std::optional<std::int64_t> SeekingAdapter::ConvertTimeFormat(std::int64_t value, TimeFormat to,
                                                              TimeFormat from) const
{
    if (to == from)
        return value;
    const std::int64_t frame = m_target.frameDuration();
    if (frame <= 0)
        return std::nullopt;
    if (to == TimeFormat::MediaTime)
        return value * frame;
    // A time inside a frame belongs to that frame.
    return value >= 0 ? value / frame : -((-value + frame - 1) / frame);
}

std::optional<std::int64_t> SeekingAdapter::toOwn(std::optional<std::int64_t> mediaTime) const
{
    if (!mediaTime)
        return std::nullopt;
    return ConvertTimeFormat(*mediaTime, m_format.load(), TimeFormat::MediaTime);
}

std::optional<std::int64_t> SeekingAdapter::GetDuration() const
{
    return toOwn(m_target.duration());
}

std::optional<std::int64_t> SeekingAdapter::GetCurrentPosition() const
{
    return toOwn(m_target.currentPosition());
}

std::optional<std::int64_t> SeekingAdapter::GetStopPosition() const
{
    return toOwn(m_target.stopPosition());
}

bool SeekingAdapter::SetPositions(std::optional<std::int64_t> current,
                                  std::optional<std::int64_t> stop)
{
    const TimeFormat format = m_format.load();
    auto toMediaTime = [&](std::optional<std::int64_t> value) -> std::optional<std::int64_t> {
        if (!value)
            return std::nullopt;
        return ConvertTimeFormat(*value, TimeFormat::MediaTime, format);
    };
    const auto currentTime = toMediaTime(current);
    const auto stopTime = toMediaTime(stop);
    if ((current && !currentTime) || (stop && !stopTime))
        return false;
    return m_target.setPositions(currentTime, stopTime);
}

} // namespace vidora::media
