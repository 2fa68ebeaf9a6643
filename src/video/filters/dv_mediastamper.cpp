#include "video/filters/dv_mediastamper.h"

namespace vidora {

Tdv_MediaStamper::Tdv_MediaStamper() : InPlaceTransformFilter(kObjectName, false) {}

bool Tdv_MediaStamper::StartStreaming()
{
    m_core.StartStreaming();
    return true;
}

media::Flow Tdv_MediaStamper::Transform(media::MediaSample &sample)
{
    if (sample.mediaTime)
        m_core.Receive(sample.mediaTime->start, sample.mediaTime->stop);
    else
        m_core.Receive(std::nullopt, std::nullopt);
    return media::Flow::Ok;
}

} // namespace vidora
