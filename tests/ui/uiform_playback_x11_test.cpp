// Playback in the real main window on a real X display (run under xvfb-run
// by the "ui_playback_x11" test): a PAL file plays for two seconds, the view's
// sink sees its pictures in order at about 25 a second while the position
// text advances; then full screen is photographed (left in the build
// folder): the picture centred on black.
#include "uiform_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSet>

#include <chrono>
#include <mutex>

namespace vidora::test {
namespace {

#ifdef __SANITIZE_THREAD__
constexpr bool kTimed = false;
#else
constexpr bool kTimed = true; // pictures in real time
#endif

using Clock = std::chrono::steady_clock;

bool Black(QRgb pixel)
{
    return qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
}

// The first and last pixel along a line of the shot that is not black.
std::pair<int, int> LitSpan(const QImage &shot, bool row, int at)
{
    const int length = row ? shot.width() : shot.height();
    int first = -1, last = -1;
    for (int i = 0; i < length; ++i)
        if (!Black(row ? shot.pixel(i, at) : shot.pixel(at, i))) {
            if (first < 0)
                first = i;
            last = i;
        }
    return {first, last};
}

TEST(MainWindowPlayback, PlaysInTimeAndFullScreenIsCentredOnBlack)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs a real display (run by the ui_playback_x11 test under xvfb-run)";
    IsolatedHome home;
    QTemporaryDir dir;
    StoreWindowSize({800, 600});
    Window w;
    Tplaque plaque;
    w.form->SetPlaque(&plaque);
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 100)));

    struct Shown
    {
        Clock::time_point at;
        std::int64_t time;
    };
    std::mutex mutex;
    std::vector<Shown> shown; // guarded by mutex; written on the streaming thread
    w.form->VueFrame->vw->setFrameObserver([&](const media::VideoFrame &frame) {
        std::lock_guard lock(mutex);
        shown.push_back({Clock::now(), frame.time ? frame.time->start : -1});
    });
    QStringList texts;
    w.Run("saPlayStop");
    for (int i = 0; i < 10; ++i) {
        QTest::qWait(200);
        texts << w.form->VueFrame->labTimeStamp->text();
    }
    // Only the pictures of the play: the pause below shows its picture
    // again, on a new stream whose times start at 0.
    w.form->VueFrame->vw->setFrameObserver({});
    std::vector<Shown> seen;
    {
        std::lock_guard lock(mutex);
        seen = shown;
    }
    w.Run("saPlayStop");
    // The pause keeps the picture the play reached, not the start.
    ASSERT_TRUE(w.viewdm.graph().GetState(std::chrono::seconds(5)).complete);
    EXPECT_GE(w.Position(), std::int64_t(seen.size()) - 1);

    if (!kTimed) {
        // Under ThreadSanitizer the pictures come slower than real time, and
        // late ones are dropped: only their order and a moving position hold.
        ASSERT_GE(seen.size(), 10u);
        for (std::size_t i = 1; i < seen.size(); ++i)
            EXPECT_GT(seen[i].time, seen[i - 1].time) << "picture " << i << " follows in order";
        for (qsizetype i = 1; i < texts.size(); ++i)
            EXPECT_GE(texts[i], texts[i - 1]) << texts.join(' ').toStdString();
        EXPECT_NE(texts.first(), texts.last());
    } else {
        ASSERT_GE(seen.size(), 40u);
        EXPECT_LE(seen.size(), 60u);
        for (std::size_t i = 1; i < seen.size(); ++i)
            EXPECT_EQ(seen[i].time - seen[i - 1].time, 400000)
                << "picture " << i << " follows in order";
        const double seconds =
            std::chrono::duration<double>(seen.back().at - seen.front().at).count();
        const double rate = double(seen.size() - 1) / seconds;
        EXPECT_NEAR(rate, 25.0, 2.5);
        // Read every 200 ms: never back, and on the move (a loaded machine
        // may hold one tick back).
        for (qsizetype i = 1; i < texts.size(); ++i)
            EXPECT_GE(texts[i], texts[i - 1]) << texts.join(' ').toStdString();
        EXPECT_GE(QSet<QString>(texts.begin(), texts.end()).size(), 7)
            << texts.join(' ').toStdString();
        EXPECT_TRUE(texts.last().startsWith(QStringLiteral("0:00:01:")) ||
                    texts.last().startsWith(QStringLiteral("0:00:02:")))
            << texts.last().toStdString();
    }

    w.Run("taFullscreen");
    QTest::qWait(800);
    QScreen *screen = plaque.screen();
    const QImage shot = screen->grabWindow(0).toImage();
    shot.save(QDir(qEnvironmentVariable("VIDORA_SCREENSHOT_DIR", QDir::tempPath()))
                  .filePath(QStringLiteral("mainwindow-fullscreen.png")));
    const QRect area = screen->geometry();
    for (const QPoint corner : {QPoint(2, 2), QPoint(area.width() - 3, area.height() - 3)})
        EXPECT_TRUE(Black(shot.pixel(corner))) << "black backdrop at " << corner.x();
    // Across the picture's colour band (no black in it, unlike its middle).
    const auto [left, right] = LitSpan(shot, true, area.height() * 8 / 10);
    const auto [top, bottom] = LitSpan(shot, false, area.width() / 2);
    ASSERT_GE(left, 0);
    ASSERT_GE(top, 0);
    EXPECT_NEAR(left, area.width() - 1 - right, 2) << "centred across";
    EXPECT_NEAR(top, area.height() - 1 - bottom, 2) << "centred down";
    // 4:3 on a 5:4 screen: full width, black above and below.
    EXPECT_GT(top, 10);
    w.Run("taFullscreen");
    EXPECT_FALSE(plaque.isVisible());
}

} // namespace
} // namespace vidora::test
