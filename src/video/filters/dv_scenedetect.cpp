#include "video/filters/dv_scenedetect.h"

namespace vidora {

bool IsDvConnectionType(const media::MediaType &type)
{
    return type.major() == media::MajorType::Interleaved ||
           (type.major() == media::MajorType::Video && type.subtype() == media::subtype::Dvsd);
}

Tdv_sceneDetect::Tdv_sceneDetect() : InPlaceTransformFilter(kObjectName, false) {}

void Tdv_sceneDetect::SetOnTitle(DvSceneDetectCore::TitleCallback callback)
{
    m_core.setOnTitle(std::move(callback));
}

void Tdv_sceneDetect::SetOnScene(DvSceneDetectCore::SceneCallback callback)
{
    m_core.setOnScene(std::move(callback));
}

void Tdv_sceneDetect::SetOnEnd(DvSceneDetectCore::EndCallback callback)
{
    m_core.setOnEnd(std::move(callback));
}

bool Tdv_sceneDetect::CheckInputType(const media::MediaType &type)
{
    return IsDvConnectionType(type);
}

bool Tdv_sceneDetect::StartStreaming()
{
    // Only a video-info block states a frame duration; 0 lets the core take
    // the DV system's own from the first frame.
    std::int64_t duration = 0;
    if (const auto info = input().connectionType().videoInfo())
        duration = info->AvgTimePerFrame;
    m_core.startStreaming(duration);
    return true;
}

void Tdv_sceneDetect::StopStreaming()
{
    m_core.stop();
}

media::Flow Tdv_sceneDetect::Transform(media::MediaSample &sample)
{
    m_core.processFrame({sample.data(), sample.actualLength()});
    // A sample shared with other branches (after a tee) is read-only and
    // gets no note: the filters after it read the detector itself, which is
    // right as long as nothing between them queues.
    if (!sample.isReadOnly()) {
        auto note = std::make_shared<DvFrameNote>();
        note->Info = m_core.lastInfo();
        m_core.copyHeaderStore(note->Store);
        sample.note = std::move(note);
    }
    return media::Flow::Ok;
}

const DvFrameNote *DvFrameNoteOf(const media::MediaSample &sample)
{
    return dynamic_cast<const DvFrameNote *>(sample.note.get());
}

} // namespace vidora
