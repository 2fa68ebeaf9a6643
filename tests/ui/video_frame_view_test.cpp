// The video view paints the latest frame the renderer presented, stretched
// to its rectangle, and takes frames from any thread.
#include "platform/media/widgets/video_frame_view.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPainter>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace vidora::media;

// A 2x2 picture: red, green on top; blue, white below.
QImage quarters()
{
    QImage picture(2, 2, QImage::Format_BGR888);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 255, 0));
    picture.setPixel(0, 1, qRgb(0, 0, 255));
    picture.setPixel(1, 1, qRgb(255, 255, 255));
    return picture;
}

// Paints the view into an image and counts its paint events.
class CountingView : public VideoFrameView
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        ++paints;
        VideoFrameView::paintEvent(event);
    }
};

TEST(VideoFrameView, PaintsTheLatestFrameStretchedToItsRectangle)
{
    CountingView view;
    view.resize(80, 60);
    view.show();
    QApplication::processEvents();

    QImage shown = view.grab().toImage();
    EXPECT_EQ(shown.pixel(40, 30), qRgb(0, 0, 0)) << "black before the first frame";

    // From a streaming thread, twice: the second frame is the one shown.
    QImage first(1, 1, QImage::Format_BGR888);
    first.fill(Qt::yellow);
    auto sink = view.sink();
    std::thread streaming([&] {
        sink->presentFrame({first, TimeRange{0, 400000}});
        sink->presentFrame({quarters(), TimeRange{400000, 800000}});
    });
    streaming.join();
    const int paintsBefore = view.paints;
    const QDeadlineTimer deadline(5000);
    while (view.paints == paintsBefore && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_GT(view.paints, paintsBefore) << "a frame asks for a repaint";

    shown = view.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(80, 60));
    struct Probe
    {
        int x, y;
        QRgb colour;
    };
    for (const auto &p : {Probe{10, 10, qRgb(255, 0, 0)}, Probe{70, 10, qRgb(0, 255, 0)},
                          Probe{10, 50, qRgb(0, 0, 255)}, Probe{70, 50, qRgb(255, 255, 255)}})
        EXPECT_EQ(shown.pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST(VideoFrameView, ASinkThatOutlivesTheViewDropsFrames)
{
    std::shared_ptr<IVideoSink> sink;
    {
        VideoFrameView view;
        sink = view.sink();
    }
    sink->presentFrame({quarters(), std::nullopt});
    QApplication::processEvents();
    SUCCEED();
}

} // namespace
