#include "video/filters/dv_dvheader.h"

#include "video/filters/dv_scenedetect.h"

namespace vidora {

Tdv_DVheader::Tdv_DVheader(const Tdv_sceneDetect *detector)
    : InPlaceTransformFilter(kObjectName, true),
      m_core(detector != nullptr ? &detector->core() : nullptr)
{}

bool Tdv_DVheader::CheckInputType(const media::MediaType &type)
{
    return IsDvConnectionType(type);
}

media::Flow Tdv_DVheader::Transform(media::MediaSample &sample)
{
    const DvFrameNote *note = DvFrameNoteOf(sample);
    m_core.processFrame({sample.data(), sample.actualLength()},
                        note != nullptr ? note->Store.get() : nullptr);
    return media::Flow::Ok;
}

} // namespace vidora
