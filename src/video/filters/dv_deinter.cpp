#include "video/filters/dv_deinter.h"

namespace vidora {

Tdv_deinter::Tdv_deinter() : InPlaceTransformFilter(kObjectName, true) {}

bool Tdv_deinter::CheckInputType(const media::MediaType &type)
{
    return type.major() == media::MajorType::Video && type.subtype() == media::subtype::Rgb24;
}

bool Tdv_deinter::StartStreaming()
{
    const auto geometry = Rgb24GeometryOf(input().connectionType());
    if (!geometry || !m_core.StartStreaming(geometry->width, geometry->height))
        return false;
    m_geometry = *geometry;
    return true;
}

media::Flow Tdv_deinter::Transform(media::MediaSample &sample)
{
    return m_core.Transform(Rgb24SampleView(sample, m_geometry)) ? media::Flow::Ok
                                                                 : media::Flow::Error;
}

} // namespace vidora
