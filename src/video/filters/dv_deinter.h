#pragma once

// The deinterlacing filter: an in-place filter that deinterlaces every
// decoded RGB24 picture passing through it (DeinterCore). The picture size
// comes from the connection's VIDEOINFOHEADER; a connection without one
// cannot be deinterlaced and refuses to start streaming.
#include "platform/media/transform.h"
#include "video/filters/dv_deintercore.h"
#include "video/filters/rgb24connection.h"

namespace vidora {

class Tdv_deinter final : public media::InPlaceTransformFilter
{
public:
    static constexpr const char *kObjectName = "Vesk Tobrek dv_deinter";

    Tdv_deinter();

    // Video/RGB24; the format block is checked when streaming starts.
    bool CheckInputType(const media::MediaType &type) override;
    bool StartStreaming() override;
    // A sample too short for the picture is left as it was and ends the run
    // with an error.
    media::Flow Transform(media::MediaSample &sample) override;
    using media::InPlaceTransformFilter::Transform;

private:
    // streaming thread (StartStreaming before it starts)
    DeinterCore m_core;
    Rgb24Geometry m_geometry;
};

} // namespace vidora
