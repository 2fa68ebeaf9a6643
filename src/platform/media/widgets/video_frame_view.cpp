#include "platform/media/widgets/video_frame_view.h"

#include "platform/gui_thread.h"

#include <QPainter>

#include <mutex>

namespace vidora::media {

// Holds the latest frame between the streaming thread and the GUI thread.
// A frame asks for a repaint through postToGui, whose calls pass through a
// queue under a lock that ThreadSanitizer sees (a lambda queued through Qt's
// own queue is handed over under Qt's uninstrumented lock). The call keeps
// the sink alive and finds the view under the lock: the view detaches
// itself before it is destroyed, so a repaint asked for late finds none.
class VideoFrameView::Sink final : public IVideoSink, public std::enable_shared_from_this<Sink>
{
public:
    explicit Sink(VideoFrameView *view) : m_view(view) {}

    void presentFrame(VideoFrame frame) override
    {
        std::lock_guard lock(m_mutex);
        if (m_observer)
            m_observer(frame);
        m_picture = std::move(frame.picture);
        if (m_view && !m_updateQueued) {
            m_updateQueued = true;
            postToGui([self = shared_from_this()] { self->repaint(); });
        }
    }

    QImage picture() const
    {
        std::lock_guard lock(m_mutex);
        return m_picture;
    }

    void setObserver(std::function<void(const VideoFrame &)> observer)
    {
        std::lock_guard lock(m_mutex);
        m_observer = std::move(observer);
    }

    // On the GUI thread, where the view is destroyed: a view still attached
    // is alive.
    void repaint()
    {
        VideoFrameView *view = nullptr;
        {
            std::lock_guard lock(m_mutex);
            m_updateQueued = false;
            view = m_view;
        }
        if (view)
            view->update();
    }

    void detach()
    {
        std::lock_guard lock(m_mutex);
        m_view = nullptr;
    }

private:
    mutable std::mutex m_mutex;
    // guarded by m_mutex; written on the streaming and the GUI thread
    VideoFrameView *m_view;
    QImage m_picture;
    bool m_updateQueued = false;
    std::function<void(const VideoFrame &)> m_observer;
};

VideoFrameView::VideoFrameView(QWidget *parent)
    : QWidget(parent), m_sink(std::make_shared<Sink>(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

VideoFrameView::~VideoFrameView()
{
    m_sink->detach();
}

std::shared_ptr<IVideoSink> VideoFrameView::sink() const
{
    return m_sink;
}

QImage VideoFrameView::currentPicture() const
{
    return m_sink->picture();
}

void VideoFrameView::setFrameObserver(std::function<void(const VideoFrame &)> observer)
{
    m_sink->setObserver(std::move(observer));
}

void VideoFrameView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QImage picture = m_sink->picture();
    if (picture.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), picture);
}

} // namespace vidora::media
