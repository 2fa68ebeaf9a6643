// The main window's display modes and playback, offscreen, as a person uses
// them through the actions: the frames of each mode, the panels and
// "Retour", maximising and restoring, the stored size across a restart, the
// position text, volume and mute on the real preview, seeking by scene, and
// full screen over the backdrop and back.
#include "uiform_window.h"

#include "platform/shell/pathroutines.h"
#include "ui/aproposframe.h"
#include "ui/displaylayout.h"
#include "ui/ubaseframe.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"

#include <QToolBar>

#include <gtest/gtest.h>

namespace vidora::test {
namespace {

using namespace displaymode;

class DisplayModesTest : public testing::Test
{
protected:
    IsolatedHome home;
    QTemporaryDir dir;
};

TEST_F(DisplayModesTest, EachModeLaysTheWindowOut)
{
    StoreWindowSize({800, 600});
    Window w;
    // The empty list: the narrow window with the help panel.
    EXPECT_EQ(w.form->DisplayMode(), ListHidden);
    EXPECT_EQ(w.form->size(), kNarrowSize);
    EXPECT_FALSE(w.form->VideFrame->isHidden());
    EXPECT_TRUE(w.form->tbVideo->isHidden());

    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 3)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Full; }));
    EXPECT_EQ(w.form->size(), QSize(800, 600));
    const QRect client = w.Client();
    const int column = client.width() - kListColumnWidth;
    EXPECT_EQ(w.form->VueFrame->geometry(), QRect(0, 0, column, client.height()));
    EXPECT_EQ(w.form->BaseFrame->geometry(), QRect(column, 0, 296, 208));
    EXPECT_EQ(w.form->Lframe->geometry(), QRect(column, 208, 296, client.height() - 208));
    EXPECT_TRUE(w.form->BaseFrame->isVisible());
    EXPECT_TRUE(w.form->Lframe->isVisible());
    EXPECT_TRUE(w.form->VueFrame->bevelRight->isVisibleTo(w.form->VueFrame));
    EXPECT_FALSE(w.form->VueFrame->Bevelleft->isVisibleTo(w.form->VueFrame));
    EXPECT_FALSE(w.form->tbVideo->isHidden());

    // The list at the right: the action offers the left.
    EXPECT_EQ(w.Action("taListeGauche")->Caption(), QStringLiteral("List at Left"));
    w.Run("taListeGauche");
    EXPECT_TRUE(w.settings.ListLeft);
    EXPECT_EQ(w.form->Lframe->x(), 0);
    EXPECT_EQ(w.form->VueFrame->x(), kListColumnWidth);
    EXPECT_TRUE(w.form->VueFrame->Bevelleft->isVisibleTo(w.form->VueFrame));
    EXPECT_EQ(w.Action("taListeGauche")->Caption(), QStringLiteral("List at right"));

    w.Run("taBasculerListe"); // hide
    EXPECT_EQ(w.form->DisplayMode(), ListHidden);
    EXPECT_EQ(w.form->size(), kNarrowSize);
    EXPECT_FALSE(w.form->Lframe->isVisible());
    EXPECT_EQ(w.form->VueFrame->geometry().top(), kInfoFrameHeight);
    EXPECT_TRUE(w.form->tbListe->isHidden());
    // The narrow window cannot be sized.
    w.form->resize(700, 700);
    EXPECT_EQ(w.form->size(), kNarrowSize);
    w.Run("taBasculerListe"); // show
    EXPECT_EQ(w.form->DisplayMode(), Full);
    EXPECT_EQ(w.form->size(), QSize(800, 600));
    EXPECT_FALSE(w.form->tbListe->isHidden());

    w.Run("taVideoSeule");
    EXPECT_EQ(w.form->DisplayMode(), VideoOnly);
    EXPECT_EQ(w.form->VueFrame->geometry(), w.Client());
    EXPECT_FALSE(w.form->BaseFrame->isVisible());
    EXPECT_FALSE(w.form->Lframe->isVisible());
    w.Run("taVideoSeule");
    EXPECT_EQ(w.form->DisplayMode(), Full);

    w.Run("saVueReduite");
    EXPECT_EQ(w.form->size(), kMainMinimumSize);
    EXPECT_EQ(w.settings.Width, kMainMinimumSize.width());
}

TEST_F(DisplayModesTest, PanelsReturnToTheModeBeforeTheFirstAndMaximisingKeepsIt)
{
    StoreWindowSize({800, 600});
    Window w;
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 3)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Full; }));
    w.Run("taVideoSeule");

    w.Run("taApropos");
    EXPECT_EQ(w.form->DisplayMode(), Panel);
    EXPECT_EQ(w.settings.ReturnMode, VideoOnly);
    EXPECT_EQ(w.form->size(), kPanelSize);
    EXPECT_TRUE(w.form->AproposFrame->isVisible());
    EXPECT_TRUE(w.form->tbOuvrir->isHidden());
    // The settings panel closes the About page and keeps "Retour".
    w.Run("taOptions");
    EXPECT_FALSE(w.form->AproposFrame->isVisible());
    EXPECT_FALSE(w.Action("taApropos")->Checked());
    EXPECT_EQ(w.settings.ReturnMode, VideoOnly);
    w.Run("taOptions");
    EXPECT_EQ(w.form->DisplayMode(), VideoOnly);
    EXPECT_EQ(w.form->size(), QSize(800, 600));
    EXPECT_FALSE(w.form->tbOuvrir->isHidden());

    // Maximised by the user from the About panel, then restored.
    w.Run("taApropos");
    w.form->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Maximised; }));
    EXPECT_EQ(w.settings.ReturnMode, VideoOnly);
    EXPECT_FALSE(w.form->AproposFrame->isVisible());
    w.form->setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == VideoOnly; }));
    // Maximised from a mode without a panel: that mode is "Retour".
    w.Run("taVideoSeule");
    w.form->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Maximised; }));
    EXPECT_EQ(w.settings.ReturnMode, Full);
}

TEST_F(DisplayModesTest, TheStoredSizeAndPlaceSurviveACloseAndRestart)
{
    StoreWindowSize({800, 600});
    const QString clip = WriteClip(dir.path(), 3);
    {
        Window w;
        ASSERT_TRUE(w.Open(clip));
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Full; }));
        // The user sizes and moves the window (on the 800 x 600 screen).
        w.form->setGeometry(30, 20, 700, 560);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.settings.Width == 700; }));
        EXPECT_EQ(w.settings.Height, 560);
    }
    {
        // Closed in the narrow window of an empty list: the size stays.
        Window w;
        EXPECT_EQ(w.form->size(), kNarrowSize);
    }
    Window w;
    ASSERT_TRUE(w.Open(clip));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Full; }));
    EXPECT_EQ(w.form->geometry(), QRect(30, 20, 700, 560));
}

// ---------------------------------------------------------------- playback

TEST_F(DisplayModesTest, ThePositionTickShowsTheTextsOfTheFrameShown)
{
    Window w;
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 30)));
    w.form->Timerproc();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form->VueFrame->labTimeStamp->text(), QStringLiteral("0:00:00:00"));
    w.Run("saAvanceEnd");
    w.form->Timerproc();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form->VueFrame->labTimeStamp->text(), QStringLiteral("0:00:01:04"));
    EXPECT_EQ(w.form->VueFrame->tb->value(), 1000 * 29 / 30);
    EXPECT_EQ(w.form->BaseFrame->LabTimecode->text(), QStringLiteral("01.02.04.08"));
    EXPECT_EQ(w.form->BaseFrame->LabAudio1->text(), QStringLiteral("48000Hz 16bits stereo"));
    w.Run("saPreviousSecond");
    EXPECT_EQ(w.Position(), 4);
    w.Run("saPreviousFrame");
    EXPECT_EQ(w.Position(), 3);
    w.Run("saHome");
    EXPECT_EQ(w.Position(), 0);
    w.Run("saNextSecond");
    EXPECT_EQ(w.Position(), 25);
}

TEST_F(DisplayModesTest, TheTickTextsFollowTheFramesTheFormatAndTheActiveFile)
{
    Window w;
    w.settings.FormatShowDatecode = QStringLiteral("yyyy-mm-dd hh:nn:ss");
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 30)));
    TBaseFrame &info = *w.form->BaseFrame;
    auto tick = [&] {
        w.form->Timerproc();
        QCoreApplication::processEvents();
    };
    tick();
    EXPECT_EQ(info.labDatecode->text(), QStringLiteral("2005-06-07 08:09:10"));
    EXPECT_EQ(info.LabTimecode->text(), QStringLiteral("01.02.03.04"));
    EXPECT_EQ(info.LabImage->text(), QStringLiteral("720 x 576 (Pal 4x3)"));
    // A second later in the recording.
    w.Run("saNextSecond");
    tick();
    EXPECT_EQ(info.labDatecode->text(), QStringLiteral("2005-06-07 08:09:11"));
    EXPECT_EQ(info.LabTimecode->text(), QStringLiteral("01.02.04.04"));
    EXPECT_EQ(w.form->VueFrame->labTimeStamp->text(), QStringLiteral("0:00:01:00"));
    // The same frame in another format.
    w.settings.FormatShowDatecode = QStringLiteral("dd/mm/yyyy");
    tick();
    EXPECT_EQ(info.labDatecode->text(), QStringLiteral("07/06/2005"));

    // Another file, wide and recorded later, made the active one.
    const QString other = QDir(dir.path()).filePath(QStringLiteral("wide.avi"));
    writeFileBytes(other, dvType1Avi(ffmpegRawDv(dir.path(), {.wide = true, .frames = 3},
                                                 QStringLiteral("2010-01-02T03:04:05Z"))));
    auto *list = w.form->Lframe->lf->ListModel();
    list->OpenFichiers({other});
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Count() == 2; }));
    for (int row = 0; row < list->Count(); ++row)
        if (list->GetFichier(row)->Path() == other)
            list->SetActiveIndex(row);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return w.form->ActiveFichier && w.form->ActiveFichier->Path() == other &&
               w.viewdm.GraphReady();
    }));
    ASSERT_TRUE(w.viewdm.graph().GetState(std::chrono::seconds(5)).complete);
    QTest::qWait(100);
    tick();
    EXPECT_EQ(info.labDatecode->text(), QStringLiteral("02/01/2010"));
    EXPECT_EQ(info.LabImage->text(), QStringLiteral("720 x 576 (Pal 16x9)"));
    EXPECT_EQ(w.form->VueFrame->labTimeStamp->text(), QStringLiteral("0:00:00:00"));
}

TEST_F(DisplayModesTest, VolumeStepsAndMute)
{
    Window w;
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 3)));
    w.settings.Volume = 9500;
    w.Run("saIncVolume");
    EXPECT_EQ(w.settings.Volume, 10000);
    EXPECT_EQ(w.form->BaseFrame->Gauge2->value(), 100);
    EXPECT_EQ(w.AudioVolume(), PreviewVolume(10000));

    w.Run("taMute");
    EXPECT_TRUE(w.settings.IsMuteOn);
    EXPECT_EQ(w.AudioVolume(), PreviewVolume(0));
    // Muted: the gauge moves, the sound stays off.
    w.Run("saDecVolume");
    EXPECT_EQ(w.settings.Volume, 9000);
    EXPECT_EQ(w.form->BaseFrame->Gauge2->value(), 90);
    EXPECT_EQ(w.AudioVolume(), PreviewVolume(0));
    w.Run("taMute");
    EXPECT_FALSE(w.settings.IsMuteOn);
    EXPECT_EQ(w.AudioVolume(), PreviewVolume(9000));

    w.settings.Volume = 500;
    w.Run("saDecVolume");
    EXPECT_EQ(w.settings.Volume, 0);
    EXPECT_EQ(w.AudioVolume(), PreviewVolume(0));
}

TEST_F(DisplayModesTest, PlayThenPauseKeepsTheFrameReached)
{
    Window w;
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 50)));
    w.Run("saPlayStop");
    EXPECT_TRUE(w.Action("saPlayStop")->Checked());
    EXPECT_EQ(w.Action("saPlayStop")->Caption(), QStringLiteral("Pause"));
    QTest::qWait(400);
    w.Run("saPlayStop");
    EXPECT_FALSE(w.Action("saPlayStop")->Checked());
    EXPECT_EQ(w.viewdm.graph().GetState(std::chrono::milliseconds(2000)).state,
              media::FilterState::Paused);
    const std::int64_t reached = w.Position();
    EXPECT_GT(reached, 0);
    QTest::qWait(200);
    EXPECT_EQ(w.Position(), reached);
}

TEST_F(DisplayModesTest, FullScreenCoversTheScreenAndLeavingRestoresModeAndSize)
{
    StoreWindowSize({800, 600});
    Window w;
    Tplaque plaque;
    w.form->SetPlaque(&plaque);
    ASSERT_TRUE(w.Open(WriteClip(dir.path(), 3)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Full; }));
    const TaviData &data = w.form->ActiveFichier->Data();
    for (bool maximised : {false, true}) {
        SCOPED_TRACE(maximised);
        if (maximised) {
            w.form->setWindowState(Qt::WindowMaximized);
            ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Maximised; }));
        } else {
            w.Run("taVideoSeule");
        }
        const std::uint8_t mode = w.form->DisplayMode();
        const QRect before = w.form->geometry();
        const QRect videoBefore = w.form->VueFrame->vw->geometry();

        w.Run("taFullscreen");
        EXPECT_TRUE(w.form->IsFullScreen());
        EXPECT_TRUE(plaque.isVisible());
        const QRect screen = w.form->screen()->geometry();
        EXPECT_EQ(plaque.geometry(), screen);
        EXPECT_EQ(w.form->VueFrame->vw->parentWidget(), &plaque);
        // The picture's aspect, centred.
        EXPECT_EQ(w.form->VueFrame->vw->geometry(),
                  *FitRectKeepAspect(data.width, data.height, QRect(QPoint(0, 0), screen.size())));
        EXPECT_EQ(w.Action("taFullscreen")->Caption(), QStringLiteral("Quit the fullscreen"));

        w.Run("taFullscreen");
        EXPECT_FALSE(w.form->IsFullScreen());
        EXPECT_FALSE(plaque.isVisible());
        EXPECT_EQ(w.form->VueFrame->vw->parentWidget(), w.form->VueFrame);
        EXPECT_EQ(w.form->DisplayMode(), mode);
        EXPECT_EQ(w.form->isMaximized(), maximised);
        EXPECT_EQ(w.form->geometry(), before);
        EXPECT_EQ(w.form->VueFrame->vw->geometry(), videoBefore);
        EXPECT_EQ(w.Action("taFullscreen")->Caption(), QStringLiteral("Fullscreen"));
    }
    // A change of mode while in full screen leaves it.
    w.Run("taFullscreen");
    w.form->setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.form->IsFullScreen(); }));
    EXPECT_FALSE(plaque.isVisible());
}

} // namespace
} // namespace vidora::test
