#pragma once

// The media-time stamper: an in-place filter right after the splitter that
// remembers the media times (frame numbers) of the last sample that passed,
// for the content detector further down the same streaming chain. It accepts
// every type and never changes a sample.
#include "platform/media/transform.h"
#include "video/filters/contentdetect.h"

namespace vidora {

class Tdv_MediaStamper final : public media::InPlaceTransformFilter
{
public:
    static constexpr const char *kObjectName = "Vesk Tobrek dv_Mediastamper";

    Tdv_MediaStamper();

    std::int64_t MediaStart() const { return m_core.MediaStart(); }
    std::int64_t MediaEnd() const { return m_core.MediaEnd(); }
    const MediaStamperCore &core() const { return m_core; }

    bool CheckInputType(const media::MediaType &) override { return true; }
    bool StartStreaming() override;
    media::Flow Transform(media::MediaSample &sample) override;
    using media::InPlaceTransformFilter::Transform;

private:
    MediaStamperCore m_core;
};

} // namespace vidora
