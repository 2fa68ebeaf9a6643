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

// A picture whose every row and column differ, so that a pixel taken from
// a neighbour shows.
QImage pattern(QImage::Format format)
{
    QImage picture(720, 576, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x >> 8) * 16 + (y >> 8)));
    return picture.convertToFormat(format);
}

// Stretched or not, at a whole-pixel offset on the device or none, the view
// shows the picture pixel for pixel as QPainter::drawImage draws it there,
// whether it stretches the picture at the paint, or the sink did as the
// frame came or as the renderer announced it; a frame other than the one
// announced is shown as it is.
TEST(VideoFrameView, ShowsThePictureAsThePainterStretchesIt)
{
    const QSize sizes[] = {{254, 190}, {720, 576},  {719, 577}, {506, 379},
                           {562, 449}, {1024, 819}, {361, 288}, {1, 1}};
    const QPoint offsets[] = {{0, 0}, {13, 7}};
    for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB32}) {
        const QImage picture = pattern(format);
        const QImage other = picture.mirrored(true, true);
        struct Paint
        {
            const char *name;
            const QImage *announced; // before the frame that the next paint shows
        };
        const Paint paints[] = {{"first paint", nullptr},
                                {"next frame", &picture},
                                {"announced frame", &other},
                                {"another announced", nullptr}};
        VideoFrameView view;
        view.sink()->presentFrame({picture, std::nullopt});
        for (const QSize size : sizes) {
            view.resize(size);
            for (const QPoint offset : offsets) {
                QImage expected(size + QSize(20, 10), QImage::Format_RGB32);
                expected.fill(Qt::magenta);
                const QImage blank = expected;
                {
                    QPainter painter(&expected);
                    painter.translate(offset);
                    painter.drawImage(QRect(QPoint(0, 0), size), picture);
                }
                // Painted first as it is, then as the sink stretched the next
                // frames for the place of that paint.
                for (const Paint &paint : paints) {
                    QImage shown = blank;
                    view.render(&shown, offset);
                    int differing = 0;
                    for (int y = 0; y < shown.height(); ++y)
                        for (int x = 0; x < shown.width(); ++x)
                            differing += shown.pixel(x, y) != expected.pixel(x, y);
                    EXPECT_EQ(differing, 0)
                        << "format " << format << ", " << size.width() << "x" << size.height()
                        << " at " << offset.x() << "," << offset.y() << ", " << paint.name;
                    if (paint.announced)
                        view.sink()->prepareFrame({*paint.announced, std::nullopt});
                    view.sink()->presentFrame({picture, std::nullopt});
                }
            }
        }
    }
}

// The view borrows the renderer's pictures: it lets one go when the next
// comes, and what it hands out is a copy, which never holds the lent buffer.
TEST(VideoFrameView, BorrowsPicturesAndHandsOutCopies)
{
    VideoFrameView view;
    auto sink = view.sink();
    EXPECT_TRUE(sink->borrowsPictures());
    const QImage picture = quarters();
    int returned = 0;
    sink->presentFrame(
        {QImage(
             picture.constBits(), 2, 2, picture.bytesPerLine(), QImage::Format_BGR888,
             [](void *count) { ++*static_cast<int *>(count); }, &returned),
         std::nullopt});
    const QImage handed = view.currentPicture();
    EXPECT_NE(handed.constBits(), picture.constBits());
    EXPECT_EQ(handed.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(returned, 0) << "shown, so still held";
    sink->presentFrame({quarters(), std::nullopt});
    EXPECT_EQ(returned, 1) << "let go when the next came, though its copy lives on";
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
