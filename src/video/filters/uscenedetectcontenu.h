#pragma once

// The content-based scene detector: an in-place filter on decoded RGB24
// pictures that compares each picture with the one before and reports a cut
// with the picture's frame number: its sample's media time, or, for a sample
// without one, the frame number that the linked media-time stamper holds. The work is
// SceneDetectContenuCore's: it resets at the start of streaming and makes its
// final report (the last frame number, then OnEnd) once per run, from Stop on
// the stopping thread after streaming has quiesced.
#include "platform/media/transform.h"
#include "video/filters/contentdetect.h"

namespace vidora {

class Tdv_MediaStamper;

class TSceneDetectContenu final : public media::InPlaceTransformFilter
{
public:
    static constexpr const char *kObjectName = "Vesk Tobrek SceneContenuDetecter";

    TSceneDetectContenu();

    // The stamper whose frame numbers are reported; not owned, must outlive
    // this filter's runs; null counts the pictures of the run instead.
    void SetStamper(const Tdv_MediaStamper *stamper);
    void SetOnScene(SceneDetectContenuCore::SceneCallback callback);
    void SetOnEnd(SceneDetectContenuCore::EndCallback callback);

    // Video/RGB24 only.
    bool CheckInputType(const media::MediaType &type) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    media::Flow Transform(media::MediaSample &sample) override;
    using media::InPlaceTransformFilter::Transform;

private:
    SceneDetectContenuCore m_core;
};

} // namespace vidora
