#pragma once

// A widget that shows the video renderer's pictures: the latest frame,
// stretched to the widget's rectangle, black before the first one.
#include "platform/media/filters/video_renderer.h"

#include <QWidget>

#include <memory>

namespace vidora::media {

class VideoFrameView : public QWidget
{
    Q_OBJECT

public:
    explicit VideoFrameView(QWidget *parent = nullptr);
    ~VideoFrameView() override;

    // The sink to give the video renderer (VideoRendererFilter::setSink). It
    // may outlive the widget: frames presented after the widget is gone are
    // dropped.
    std::shared_ptr<IVideoSink> sink() const;
    // The latest picture; null before the first. GUI thread.
    QImage currentPicture() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    class Sink;
    std::shared_ptr<Sink> m_sink;
};

} // namespace vidora::media
