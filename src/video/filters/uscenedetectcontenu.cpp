#include "video/filters/uscenedetectcontenu.h"

#include "video/filters/dv_mediastamper.h"

namespace vidora {

TSceneDetectContenu::TSceneDetectContenu() : InPlaceTransformFilter(kObjectName, false) {}

void TSceneDetectContenu::SetStamper(const Tdv_MediaStamper *stamper)
{
    m_core.SetStamper(stamper != nullptr ? &stamper->core() : nullptr);
}

void TSceneDetectContenu::SetOnScene(SceneDetectContenuCore::SceneCallback callback)
{
    m_core.SetOnScene(std::move(callback));
}

void TSceneDetectContenu::SetOnEnd(SceneDetectContenuCore::EndCallback callback)
{
    m_core.SetOnEnd(std::move(callback));
}

bool TSceneDetectContenu::CheckInputType(const media::MediaType &type)
{
    return type.major() == media::MajorType::Video && type.subtype() == media::subtype::Rgb24;
}

bool TSceneDetectContenu::StartStreaming()
{
    m_core.StartStreaming();
    return true;
}

void TSceneDetectContenu::StopStreaming()
{
    m_core.Stop();
}

media::Flow TSceneDetectContenu::Transform(media::MediaSample &sample)
{
    m_core.Transform({sample.data(), sample.actualLength()},
                     sample.mediaTime ? std::optional<std::int64_t>(sample.mediaTime->start)
                                      : std::nullopt);
    return media::Flow::Ok;
}

} // namespace vidora
