#pragma once

// A widget that shows the video renderer's pictures: the latest frame,
// stretched to the widget's rectangle, black before the first one.
#include "platform/media/filters/video_renderer.h"

#include <QWidget>

#include <functional>
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
    // Told of every picture as the renderer hands it over, on the streaming
    // thread (so it must be quick and must not call into the graph): what a
    // measurement of playback watches. Empty for none. Any thread.
    void setFrameObserver(std::function<void(const VideoFrame &)> observer);

signals:
    // A new frame is to be painted: emitted on the GUI thread just before
    // the view asks for the paint, so that what is updated here is painted
    // in the same pass.
    void framePresented();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    class Sink;
    std::shared_ptr<Sink> m_sink;
    // The latest picture stretched to the view, made at each paint (its
    // memory kept while the size stays). GUI thread.
    QImage m_stretched;
};

} // namespace vidora::media
