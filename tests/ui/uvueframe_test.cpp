// The video view with a real preview: what it shows after each display
// operation, the slider, the timer, the step handlers and the texts of the
// frame shown; and, under Xvfb, a screenshot of a DV file being previewed.
#include "platform/media/graph.h"
#include "support/dvfiles.h"
#include "support/tools.h"
#include "ui/uvueframe.h"
#include "video/filters/dv_scenedetect.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vidora {
namespace {

using namespace vidora::test;

// The colour of the test picture, and what DV coding makes of it.
const QColor kPicture(0x20, 0x60, 0xC0);

bool nearColour(QRgb pixel, const QColor &colour, int tolerance = 12)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance &&
           std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
           std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

void settle(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

class VueFrameFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        s_dir = std::make_unique<QTemporaryDir>();
        // 30 frames of one colour, 48 kHz stereo, recorded 2005-06-07
        // 08:09:10 from the time code 01:02:03:04.
        const QString raw = QDir(s_dir->path()).filePath("colour.dv");
        ffmpegMake({"-f",
                    "lavfi",
                    "-i",
                    QStringLiteral("color=c=0x%1:size=720x576:rate=25")
                        .arg(kPicture.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')),
                    "-f",
                    "lavfi",
                    "-i",
                    "sine=sample_rate=48000",
                    "-t",
                    "1.2",
                    "-ac",
                    "2",
                    "-pix_fmt",
                    "yuv420p",
                    "-metadata",
                    "creation_time=2005-06-07T08:09:10Z",
                    "-timecode",
                    "01:02:03:04",
                    "-f",
                    "dv",
                    raw});
        s_path = QDir(s_dir->path()).filePath("the <colour> & more.avi");
        writeFileBytes(s_path, dvType1Avi(readFileBytes(raw)));
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        m_entry = TAfficherFichier::Create(s_path, TaviReading{});
        ASSERT_TRUE(m_entry->Data().isDv);
        m_settings.FormatShowDatecode = QStringLiteral("yyyy-mm-dd hh:nn:ss");
        m_viewdm.SetSettings(&m_settings);
        m_frame.SetPreview(&m_viewdm);
        m_frame.SetSettings(&m_settings);
        m_frame.SetDisplayRecord(&m_record);
        m_frame.SetCurrentFile(m_entry);
        m_frame.resize(800, 640);
        m_frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
    }

    // Opens the file and waits for its first picture.
    void open()
    {
        const TPreviewEntry preview = PreviewEntryOf(*m_entry);
        ASSERT_TRUE(m_viewdm.OpenFile(&preview, &m_frame));
        const QDeadlineTimer deadline(3000);
        while (m_frame.vw->currentPicture().isNull() && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        settle(100);
        m_frame.ArrangeView();
    }

    QPoint videoCentre() const { return m_frame.vw->geometry().center(); }

    static std::unique_ptr<QTemporaryDir> s_dir;
    static QString s_path;
    std::shared_ptr<TAfficherFichier> m_entry;
    SettingValues m_settings;
    TDisplayRecord m_record;
    Tviewdm m_viewdm;
    TVueFrame m_frame;
};

std::unique_ptr<QTemporaryDir> VueFrameFixture::s_dir;
QString VueFrameFixture::s_path;

using VueFrame = VueFrameFixture;

TEST_F(VueFrame, ShowVideoShowsThePictureAndNoMessage)
{
    m_frame.ShowVideoUnavailable(videomessage::NotFound);
    open(); // ShowVideo
    EXPECT_TRUE(m_frame.vw->isVisible());
    EXPECT_FALSE(m_frame.rxVue->isVisible());
    EXPECT_FALSE(m_frame.Panel1->isVisible()) << "the backdrop would hide the picture";
    EXPECT_TRUE(m_frame.tb->isVisible());
    EXPECT_TRUE(m_frame.Shape1->isVisible());
    EXPECT_TRUE(m_frame.timer1->isActive());
    const QImage shown = m_frame.grab().toImage();
    EXPECT_TRUE(nearColour(shown.pixel(videoCentre()), kPicture))
        << std::hex << shown.pixel(videoCentre());
    // The picture keeps the file's aspect: 4:3 of a PAL frame.
    EXPECT_NEAR(double(m_frame.vw->width()) / m_frame.vw->height(), 4.0 / 3, 0.01);
}

TEST_F(VueFrame, MessagesInPlaceOfAndOverTheVideo)
{
    open();
    m_frame.ShowVideoUnavailable(videomessage::NotFound);
    EXPECT_FALSE(m_frame.vw->isVisible());
    EXPECT_FALSE(m_frame.tb->isVisible());
    EXPECT_FALSE(m_frame.labTimeStamp->isVisible());
    EXPECT_TRUE(m_frame.Panel1->isVisible());
    EXPECT_TRUE(m_frame.rxVue->isVisible());
    const QString text = m_frame.rxVue->toPlainText();
    EXPECT_TRUE(text.contains("Video not available"));
    EXPECT_TRUE(text.contains("the <colour> & more.avi")) << text.toStdString();
    EXPECT_FALSE(nearColour(m_frame.grab().toImage().pixel(videoCentre()), kPicture));

    m_frame.timer1->stop();
    m_frame.ShowAudioOnly(videomessage::AudioOnly);
    EXPECT_TRUE(m_frame.rxVue->isVisible());
    EXPECT_TRUE(m_frame.tb->isVisible()) << "the sound can be navigated";
    EXPECT_TRUE(m_frame.timer1->isActive()) << "and its position goes on";
    EXPECT_TRUE(m_frame.rxVue->toPlainText().contains("has only audio streams"));
}

TEST_F(VueFrame, TheSliderSeeksOnlyWhenTheUserMovesIt)
{
    open();
    m_viewdm.SeekTo(3);
    m_frame.timer1->stop(); // it would show the position again
    m_frame.SetPositionSlider(700);
    settle(50);
    EXPECT_EQ(m_viewdm.CurrentPosition(), 3) << "set from code: no seek";
    EXPECT_EQ(m_frame.tb->value(), 700);

    m_frame.tb->setValue(500); // as the keys and the mouse do
    const QDeadlineTimer deadline(3000);
    while (m_viewdm.CurrentPosition() != 15 && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(m_viewdm.CurrentPosition(), 15);

    m_frame.tbMouseDown();
    EXPECT_FALSE(m_frame.timer1->isActive());
    m_frame.tbMouseUp();
    EXPECT_TRUE(m_frame.timer1->isActive()) << "releasing the slider restarts the timer";
}

// A new position repaints the slider only when its handle moves, and what
// the window shows is the slider at its last position.
TEST_F(VueFrame, TheSliderRepaintsWhenItsHandleMoves)
{
    open();
    m_frame.timer1->stop();
    m_frame.SetPositionSlider(0);
    settle(50);
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    m_frame.tb->installEventFilter(&counter);
    const int &paints = counter.paints;
    // Position by position across the whole slider, which is narrower than
    // the range: the handle moves at most once a pixel.
    for (int position = 1; position <= Tviewdm::kSliderMaximum; ++position) {
        m_frame.SetPositionSlider(position);
        QApplication::processEvents();
    }
    settle(50);
    ASSERT_LT(m_frame.tb->width(), Tviewdm::kSliderMaximum);
    EXPECT_GT(paints, 0);
    EXPECT_LE(paints, m_frame.tb->width());
    const QRect place(m_frame.tb->mapTo(m_frame.window(), QPoint(0, 0)), m_frame.tb->size());
    const QImage onScreen = m_frame.screen()
                                ->grabWindow(m_frame.window()->winId(), place.x(), place.y(),
                                             place.width(), place.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(onScreen, m_frame.tb->grab().toImage().convertToFormat(QImage::Format_RGB32))
        << "the handle shown is the last position's";
}

// A frame of a 25 frames a second video brings the position tick with it,
// once a frame; the timer then stands by a little longer than its interval,
// ticks on its own when no frame comes, and keeps its own pace again.
TEST_F(VueFrame, AFrameBringsThePositionTick)
{
    open();
    int ticks = 0;
    m_frame.SetTickHandler([&] { ++ticks; });
    ASSERT_TRUE(m_frame.timer1->isActive());
    // Half a tick after a tick of the timer's own, events held meanwhile.
    const QDeadlineTimer first(2000);
    while (ticks == 0 && !first.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_GT(ticks, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ticks = 0;
    emit m_frame.vw->framePresented();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(m_frame.timer1->interval(), 50);
    emit m_frame.vw->framePresented();
    EXPECT_EQ(ticks, 1) << "a second frame at once: no second tick";
    const QDeadlineTimer deadline(2000);
    while (ticks < 2 && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(ticks, 2) << "no frame came: the timer ticked";
    EXPECT_EQ(m_frame.timer1->interval(), 40);
}

TEST_F(VueFrame, StepHandlersAndTheTextsOfTheFrameShown)
{
    open();
    m_frame.aeReculeStart();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 0);
    EXPECT_EQ(m_record.timecode, "01.02.03.04");
    EXPECT_EQ(m_record.datecode, "2005-06-07 08:09:10");
    EXPECT_EQ(m_record.audio, "48000Hz 16bits stereo");
    EXPECT_EQ(m_record.audioRate, "PCM 192000 bytes/s");
    EXPECT_EQ(m_record.codec, "720 x 576 (Pal 4x3)");

    m_frame.aeAvanceLow();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 1);
    EXPECT_EQ(m_record.timecode, "01.02.03.05");
    m_frame.aeAvanceMedium();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 26);
    EXPECT_EQ(m_record.timecode, "01.02.04.05");
    EXPECT_EQ(m_record.sliderPosition, 26 * 1000 / 30);
    m_frame.aeReculeLow();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 25);
    m_frame.aeAvanceHigh();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 29) << "the last frame";
    m_frame.aeReculeMedium();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 4);
    m_frame.aeReculeHigh();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 0);
    m_frame.aeAvanceEnd();
    EXPECT_EQ(m_viewdm.CurrentPosition(), 29);
    EXPECT_EQ(m_record.timecode, "01.02.04.08");

    // A stopped preview.
    m_viewdm.graph().Stop();
    m_frame.Timer1Timer();
    EXPECT_EQ(m_record.datecode, "-");
    EXPECT_EQ(m_record.timecode, "-");
}

TEST_F(VueFrame, TheTimeStampLabelGrowsForAWiderTextAndKeepsItsCentre)
{
    open();
    QLabel &stamp = *m_frame.labTimeStamp;
    auto fitsAndIsCentred = [&] {
        const int centre = m_frame.width() / 2;
        return stamp.sizeHint().width() <= stamp.width() &&
               std::abs(stamp.geometry().center().x() - centre) <= 1;
    };
    m_frame.ShowTimeStamp(QStringLiteral("0:00:00:00"));
    m_frame.ArrangeView();
    const int narrow = stamp.width();
    EXPECT_TRUE(fitsAndIsCentred());

    // Other digits: the text shows, the label stays.
    for (const char *text : {"0:00:01:04", "0:59:59:24", "0:00:11:11"}) {
        m_frame.ShowTimeStamp(QString::fromLatin1(text));
        EXPECT_EQ(stamp.text(), QString::fromLatin1(text));
        EXPECT_EQ(stamp.width(), narrow) << text;
        EXPECT_TRUE(fitsAndIsCentred()) << text;
    }
    // More digits: the label grows; a narrower text after it keeps the width.
    m_frame.ShowTimeStamp(QStringLiteral("10:00:00:00"));
    EXPECT_GT(stamp.width(), narrow);
    EXPECT_TRUE(fitsAndIsCentred());
    const int wide = stamp.width();
    m_frame.ShowTimeStamp(QStringLiteral("0:00:00:01"));
    EXPECT_EQ(stamp.width(), wide);

    // Arranged again with the narrow text, the label narrows; the wider
    // texts then make it grow again.
    m_frame.ArrangeView();
    EXPECT_EQ(stamp.width(), narrow);
    m_frame.ShowTimeStamp(QStringLiteral("99:59:59:24"));
    EXPECT_GT(stamp.width(), narrow);
    EXPECT_TRUE(fitsAndIsCentred());

    // A larger font: a text of the same digits grows the label.
    const int before = stamp.width();
    QFont larger = stamp.font();
    larger.setPixelSize(QFontInfo(larger).pixelSize() * 2);
    stamp.setFont(larger);
    m_frame.ShowTimeStamp(QStringLiteral("12:34:56:12"));
    EXPECT_GT(stamp.width(), before);
    EXPECT_TRUE(fitsAndIsCentred());
}

// Under Xvfb (the ui_screenshot test): the screen itself, as a person sees it.
TEST_F(VueFrame, ScreenshotUnderXvfb)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs a real display (run by the ui_screenshot test under xvfb-run)";
    const QString dir = qEnvironmentVariable("VIDORA_SCREENSHOT_DIR", QDir::tempPath());
    m_frame.move(0, 0);
    open();
    settle(300);
    QScreen *screen = m_frame.screen();
    const QImage video = screen->grabWindow(0).toImage();
    video.save(QDir(dir).filePath("vueframe-video.png"));
    const QPoint centre = m_frame.mapToGlobal(videoCentre());
    EXPECT_TRUE(nearColour(video.pixel(centre), kPicture)) << std::hex << video.pixel(centre);

    m_frame.ShowVideoUnavailable(videomessage::NotAvi);
    settle(300);
    const QImage message = screen->grabWindow(0).toImage();
    message.save(QDir(dir).filePath("vueframe-message.png"));
    EXPECT_FALSE(nearColour(message.pixel(centre), kPicture));
    // The message's heading is drawn in the panel: dark text on the backdrop.
    const QRect panel(m_frame.mapToGlobal(m_frame.rxVue->geometry().topLeft()),
                      m_frame.rxVue->size());
    int dark = 0;
    for (int y = panel.top(); y < panel.bottom(); ++y)
        for (int x = panel.left(); x < panel.right(); ++x)
            dark += qGray(message.pixel(x, y)) < 80;
    EXPECT_GT(dark, 200) << "text in the message panel";
}

} // namespace
} // namespace vidora
