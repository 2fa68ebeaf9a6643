#include "platform/media/seeking.h"

namespace vidora::media {
namespace {

constexpr std::int64_t kSecond = 10'000'000; // 100 ns units

// Floor and ceiling of a / b for b > 0, in 128 bits.
__int128 floorDiv(__int128 a, __int128 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

__int128 ceilDiv(__int128 a, __int128 b)
{
    return -floorDiv(-a, b);
}

} // namespace

std::int64_t FrameStart(std::int64_t frame, FrameRate rate)
{
    return static_cast<std::int64_t>(
        floorDiv(static_cast<__int128>(frame) * kSecond * rate.den, rate.num));
}

std::int64_t FrameAt(std::int64_t time, FrameRate rate)
{
    // The last frame whose start, FrameStart(n) = floor(n × X) with X the
    // exact frame time, is at or before `time`: floor(n × X) <= time holds
    // exactly when n × X < time + 1.
    return static_cast<std::int64_t>(
        ceilDiv((static_cast<__int128>(time) + 1) * rate.num, __int128{kSecond} * rate.den) - 1);
}

bool SeekingAdapter::IsFormatSupported(TimeFormat format) const
{
    return format == TimeFormat::MediaTime || m_target.frameRate().valid() ||
           m_target.frameDuration() > 0;
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
    if (const FrameRate rate = m_target.frameRate(); rate.valid())
        return to == TimeFormat::MediaTime ? FrameStart(value, rate) : FrameAt(value, rate);
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
