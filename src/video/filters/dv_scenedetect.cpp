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
    if (!m_core.processFrame({sample.data(), sample.actualLength()}))
        return media::Flow::Ok;
    // A note is the sample's metadata, not its data: a read-only sample gets
    // one too. Read-only samples here are views of their own (a splitter or a
    // tee gives each branch one), so no other branch reads this note field.
    DvSceneDetectCore::FrameRecord record = m_core.lastFrame();
    auto note = std::make_shared<DvFrameNote>();
    note->Info = record.info;
    note->Store = std::move(record.store);
    sample.note = std::move(note);
    return media::Flow::Ok;
}

const DvFrameNote *DvFrameNoteOf(const media::MediaSample &sample)
{
    return dynamic_cast<const DvFrameNote *>(sample.note.get());
}

} // namespace vidora
