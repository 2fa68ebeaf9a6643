#pragma once

// Seeking. IMediaSeeking is what callers hold (the graph's, or a filter's,
// which passes to the stream's source): positions in the interface's time
// format, always absolute. Inside the layer, everything that can seek
// implements MediaTimeSeeker in 100 ns units; SeekingAdapter turns one into
// the other, so each IMediaSeeking object keeps its own time format.
#include <atomic>
#include <cstdint>
#include <optional>

namespace vidora::media {

enum class TimeFormat {
    MediaTime, // 100 ns units
    Frame,     // frame numbers of the video stream
};

// A video stream's exact frame rate: `num` frames every `den` seconds (an AVI
// stream's dwRate and dwScale; 30000/1001 for 525/60 DV). Empty (0/0) when
// the stream states none.
struct FrameRate
{
    std::int64_t num = 0;
    std::int64_t den = 0;
    bool valid() const { return num > 0 && den > 0; }
};

class IMediaSeeking
{
public:
    virtual ~IMediaSeeking() = default;
    virtual bool IsFormatSupported(TimeFormat format) const = 0;
    // False (format kept) when the stream cannot count in that format.
    virtual bool SetTimeFormat(TimeFormat format) = 0;
    virtual TimeFormat GetTimeFormat() const = 0;
    virtual std::optional<std::int64_t> GetDuration() const = 0;
    virtual std::optional<std::int64_t> GetCurrentPosition() const = 0;
    virtual std::optional<std::int64_t> GetStopPosition() const = 0;
    // Absolute positions; an empty one is left as it is. While the graph is
    // paused or running, the streams are flushed and restart at `current`
    // (paused: the frame there is cued again).
    virtual bool SetPositions(std::optional<std::int64_t> current,
                              std::optional<std::int64_t> stop) = 0;
    virtual std::optional<std::int64_t> ConvertTimeFormat(std::int64_t value, TimeFormat to,
                                                          TimeFormat from) const = 0;
};

// Start of frame `frame` (100 ns) and the frame that holds `time`, by an
// exact rate; `rate` must be valid.
std::int64_t FrameStart(std::int64_t frame, FrameRate rate);
std::int64_t FrameAt(std::int64_t time, FrameRate rate);

class MediaTimeSeeker
{
public:
    virtual std::optional<std::int64_t> duration() const = 0;
    virtual std::optional<std::int64_t> currentPosition() const = 0;
    virtual std::optional<std::int64_t> stopPosition() const = 0;
    virtual bool setPositions(std::optional<std::int64_t> current,
                              std::optional<std::int64_t> stop) = 0;
    // Duration of one video frame, 0 when the stream has no frame rate.
    virtual std::int64_t frameDuration() const = 0;
    // The exact rate behind frameDuration(), which is rounded to 100 ns.
    // When valid, frame n starts at n × 10^7 × den / num rounded down (the
    // time stamp of its sample), and positions in frames convert by it, so
    // that a frame number lands on its own frame at any length; when empty,
    // they convert by frameDuration().
    virtual FrameRate frameRate() const { return {}; }

protected:
    ~MediaTimeSeeker() = default;
};

class SeekingAdapter final : public IMediaSeeking
{
public:
    explicit SeekingAdapter(MediaTimeSeeker &target) : m_target(target) {}
    bool IsFormatSupported(TimeFormat format) const override;
    bool SetTimeFormat(TimeFormat format) override;
    TimeFormat GetTimeFormat() const override { return m_format.load(); }
    std::optional<std::int64_t> GetDuration() const override;
    std::optional<std::int64_t> GetCurrentPosition() const override;
    std::optional<std::int64_t> GetStopPosition() const override;
    bool SetPositions(std::optional<std::int64_t> current,
                      std::optional<std::int64_t> stop) override;
    std::optional<std::int64_t> ConvertTimeFormat(std::int64_t value, TimeFormat to,
                                                  TimeFormat from) const override;

private:
    std::optional<std::int64_t> toOwn(std::optional<std::int64_t> mediaTime) const;
    MediaTimeSeeker &m_target;
    std::atomic<TimeFormat> m_format{TimeFormat::MediaTime};
};

} // namespace vidora::media
