// The main window's scene editor, overlay placement and copies, offscreen on
// a real DV file joined from three recordings: inserting and merging scenes
// with their titles and numbers, saving and reloading, the question about
// unsaved scenes, the overlay sliders on the paused picture, the editor's
// keys, and the picture on the clipboard against ffmpeg's decode.
#include "ui/uiform.h"

#include "files/widgets/fichierlistbox.h"
#include "formats/dvcodes.h"
#include "platform/media/filter.h"
#include "platform/media/graph.h"
#include "platform/media/widgets/video_frame_view.h"
#include "scenes/edittitres.h"
#include "scenes/scenefile.h"
#include "scenes/scenelist.h"
#include "scenes/widgets/edittitresform.h"
#include "scenes/widgets/scenelisteframe.h"
#include "support/dvfiles.h"
#include "support/isolatedhome.h"
#include "support/smalldisk.h"
#include "support/tools.h"
#include "ui/ubaseframe.h"
#include "ui/ueditincrust.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace vidora {
namespace {

using namespace std::chrono_literals;
using test::runTool;

constexpr int kFrameBytes = 144000;
constexpr int kFrames = 75;

// Three recordings of 30, 30 and 15 frames with dates of their own.
QString WriteJoined(const QString &dir, const QString &name)
{
    QByteArray raw = test::ffmpegRawDv(dir, {.frames = kFrames});
    if (raw.size() != kFrames * kFrameBytes)
        return {};
    const TDvRecDateTime dates[] = {
        {2005, 6, 7, 8, 9, 10}, {2006, 1, 1, 12, 0, 0}, {2007, 7, 14, 18, 30, 0}};
    for (int f = 0; f < kFrames; ++f) {
        auto *frame = reinterpret_cast<std::uint8_t *>(raw.data()) + f * kFrameBytes;
        WriteDvRecDateTime(std::span<std::uint8_t>(frame, kFrameBytes), 12,
                           dates[f < 30   ? 0
                                 : f < 60 ? 1
                                          : 2]);
    }
    const QString path = QDir(dir).filePath(name);
    test::writeFileBytes(path, test::dvType1Avi(raw));
    return path;
}

double MeanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_BGR888);
    const QImage y = b.convertToFormat(QImage::Format_BGR888);
    if (x.size() != y.size())
        return 255;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(int(p[i]) - int(q[i]));
    }
    return sum / (x.width() * x.height() * 3);
}

using RangeList = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

class SceneEditor : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        s_dir = std::make_unique<QTemporaryDir>();
        s_joined = WriteJoined(s_dir->path(), "joined.avi");
        ASSERT_FALSE(s_joined.isEmpty());
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        m_work = std::make_unique<QTemporaryDir>();
        m_video = QDir(VideoFolder()).filePath("holiday.avi");
        ASSERT_TRUE(QFile::copy(s_joined, m_video));
        TwriteScene writer(m_video);
        for (const auto &[start, end] : {std::pair{0u, 30u}, {30u, 60u}, {60u, 75u}})
            writer.AddScene(TSceneClass(start, end, TSceneContext{}));
        ASSERT_TRUE(writer.Close());

        settings.PreferencesMode = kPreferencesRegistry;
        form = std::make_unique<TUIForm>(settings, viewdm);
        form->OnAskSaveScenes = [this](const QString &question) {
            questions << question;
            return answer;
        };
        form->Switch1->Arguments = {m_video};
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        settings.PreferencesMode = kPreferencesRegistry;
        form->Switch1->Activate();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->ActiveFichier && viewdm.GraphReady(); }));
        QTest::qWait(100);
    }

    void TearDown() override
    {
        if (form) {
            form->OnAskSaveScenes = [](const QString &) { return false; };
            form->close();
        }
        form.reset();
        // Qt keeps the first settings folder it was shown for the whole
        // run: the settings saved at close must not reach later tests.
        settings.DeleteRegistryPreferences();
    }

    void Run(const char *name)
    {
        ASSERT_TRUE(form->al().Find(QString::fromLatin1(name))->Execute());
    }

    TSceneClass &SceneAt(int index) { return *form->SFrame->GetScene(index); }
    std::int64_t Position() const { return viewdm.CurrentPosition().value_or(-1); }

    QStringList Captions() const
    {
        QStringList items;
        for (int i = 0; i < form->SFrame->lb->count(); ++i)
            items << form->SFrame->lb->item(i)->text();
        return items;
    }

    RangeList SceneRanges()
    {
        RangeList ranges;
        for (int i = 0; i < form->SFrame->Count(); ++i)
            ranges.emplace_back(SceneAt(i).StartFrame, SceneAt(i).EndFrame);
        return ranges;
    }

    // Where the video and its scene file lie.
    virtual QString VideoFolder() const { return m_work->path(); }

    static std::unique_ptr<QTemporaryDir> s_dir;
    static QString s_joined;

    test::IsolatedHome home;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_video;
    Settings settings{SettingsEnvironment::forRunningProgram()};
    Tviewdm viewdm;
    std::unique_ptr<TUIForm> form;
    QStringList questions;
    bool answer = false;
};

std::unique_ptr<QTemporaryDir> SceneEditor::s_dir;
QString SceneEditor::s_joined;

// The video and its scene file on a small disk of their own.
class SceneEditorOnASmallDisk : public SceneEditor
{
protected:
    void SetUp() override
    {
        // The video (11 MB) and its scene file, with a little room left.
        m_disk = std::make_unique<test::SmallDisk>(m_diskFolder.filePath("small"), 12 << 20);
        if (!m_disk->isMounted())
            GTEST_SKIP() << m_disk->skipReason().toStdString();
        SceneEditor::SetUp();
    }
    QString VideoFolder() const override { return m_disk->path(); }

    QTemporaryDir m_diskFolder;
    std::unique_ptr<test::SmallDisk> m_disk;
};

// Saving the edited scenes when the disk is full keeps the older scene file
// whole, tells why, and leaves the changes unsaved.
TEST_F(SceneEditorOnASmallDisk, SavingOnAFullDiskKeepsTheOlderFileAndShowsTheReason)
{
    const QString scn = QDir(VideoFolder()).filePath("holiday.scn");
    const QByteArray older = test::readFileBytes(scn);
    ASSERT_FALSE(older.isEmpty());
    Run("taEditerScenes");
    viewdm.SeekTo(45);
    Run("saInsererScene");
    ASSERT_EQ(form->SFrame->Count(), 4);
    ASSERT_TRUE(form->SFrame->Modified);
    m_disk->fill();

    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(20);
    Run("saEnregistrerScn");
    poll.stop();
    EXPECT_TRUE(shown.contains(scn)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << shown.toStdString();
    EXPECT_EQ(test::readFileBytes(scn), older);
    EXPECT_TRUE(form->SFrame->Modified);
    EXPECT_EQ(QDir(VideoFolder()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".filler", "holiday.avi", "holiday.scn"}));
}

TEST_F(SceneEditor, InsertMergeRenumberSaveAndReload)
{
    Run("taEditerScenes");
    ASSERT_TRUE(form->ScenesEditing());
    EXPECT_TRUE(form->SFrame->isVisible());
    EXPECT_FALSE(form->Lframe->isVisible());
    ASSERT_EQ(SceneRanges(), (RangeList{{0, 30}, {30, 60}, {60, 75}}));
    EXPECT_EQ(form->SFrame->lb->currentRow(), 0);
    EXPECT_TRUE(SceneAt(0).Detailed);
    // The window with its scene editor, for a person to look at.
    const QString shots = qEnvironmentVariable("VIDORA_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        form->grab().save(QDir(shots).filePath("scene-editor.png"));

    SceneAt(1).Title = "Beach 2";
    SceneAt(1).Subtitle = "low tide";
    SceneAt(2).Title = "Garden 3";
    form->SelectSceneAndSeek(1);
    EXPECT_EQ(viewdm.StartPosition(), 30);
    EXPECT_EQ(viewdm.StopPosition(), 60);

    // A cut inside scene 2; its own number in titles follows the renumbering.
    viewdm.SeekTo(40);
    Run("saInsererScene");
    EXPECT_EQ(SceneRanges(), (RangeList{{0, 30}, {30, 40}, {40, 60}, {60, 75}}));
    EXPECT_EQ(SceneAt(2).Title, "Beach 3 <<");
    EXPECT_EQ(SceneAt(2).Subtitle, "low tide");
    EXPECT_EQ(SceneAt(3).Title, "Garden 4");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(SceneAt(i).Number, i + 1);
    EXPECT_EQ(Captions()[2], "Scene 3: Beach 3 <<");
    EXPECT_TRUE(SceneAt(2).Detailed);
    EXPECT_EQ(SceneAt(2).DatecodeText, SceneAt(1).DatecodeText) << "the same recording";
    EXPECT_EQ(SceneAt(1).DurationText, FormatDuration(10, form->SceneContext()));
    EXPECT_TRUE(form->SFrame->Modified);

    // At a boundary, or where no scene holds the position, nothing changes.
    for (const std::int64_t at : {40, 30}) {
        viewdm.SeekTo(at);
        Run("saInsererScene");
        EXPECT_EQ(form->SFrame->Count(), 4) << at;
    }

    // Scene 3 merges into scene 2, which takes its end and end text.
    const QString endText = SceneAt(2).EndText;
    form->SelectSceneAndSeek(2);
    Run("saSupprimerScene");
    EXPECT_EQ(SceneRanges(), (RangeList{{0, 30}, {30, 60}, {60, 75}}));
    EXPECT_EQ(SceneAt(1).EndText, endText);
    EXPECT_EQ(SceneAt(1).Title, "Beach 2");
    EXPECT_EQ(SceneAt(2).Title, "Garden 3");
    EXPECT_EQ(Captions(),
              (QStringList{SceneAt(0).GetCaption(), "Scene 2: Beach 2", "Scene 3: Garden 3"}));

    // The first scene has none before it.
    form->SelectSceneAndSeek(0);
    Run("saSupprimerScene");
    EXPECT_EQ(form->SFrame->Count(), 3);
    EXPECT_EQ(SceneAt(1).Title, "Beach 2") << "titles stay expanded";

    Run("saEnregistrerScn");
    EXPECT_FALSE(form->SFrame->Modified);
    const TSceneList reread = LoadSceneListOf(m_video, form->SceneContext());
    ASSERT_EQ(reread.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reread[std::size_t(i)].Scene->StartFrame, SceneAt(i).StartFrame);
        EXPECT_EQ(reread[std::size_t(i)].Scene->EndFrame, SceneAt(i).EndFrame);
        EXPECT_EQ(reread[std::size_t(i)].Scene->Title, SceneAt(i).Title);
        EXPECT_EQ(reread[std::size_t(i)].Scene->Subtitle, SceneAt(i).Subtitle);
        EXPECT_EQ(reread[std::size_t(i)].Scene->ThumbOffset, SceneAt(i).ThumbOffset);
    }

    Run("taEditerScenes");
    EXPECT_FALSE(form->ScenesEditing());
    EXPECT_TRUE(questions.isEmpty()) << "nothing unsaved";
    EXPECT_TRUE(form->Lframe->isVisible());
    EXPECT_EQ(viewdm.StartPosition(), 0);
    EXPECT_EQ(viewdm.StopPosition(), kFrames);
}

TEST_F(SceneEditor, ThumbnailFromTheVideoAndTitlesFromTheEditor)
{
    Run("taEditerScenes");
    form->SelectSceneAndSeek(1);
    viewdm.SeekTo(45);
    const QImage first = SceneAt(1).Thumbnail.copy();
    QTest::mouseClick(form->VueFrame->vw, Qt::LeftButton);
    EXPECT_EQ(SceneAt(1).ThumbOffset, 15u);
    EXPECT_NE(SceneAt(1).Thumbnail, first);
    EXPECT_TRUE(form->SFrame->Modified);
    // The thumbnail takes the video back to its frame.
    viewdm.SeekTo(30);
    QTest::mouseClick(form->SceneBase->image, Qt::LeftButton);
    EXPECT_EQ(viewdm.CurrentPosition(), 45);

    // A click on the caption opens the titles editor, whose keys then carry
    // Ctrl; "Apply" gives the shown scene the expanded templates.
    QTest::mouseClick(form->SceneBase->memoTitre->viewport(), Qt::LeftButton);
    ASSERT_TRUE(form->EditerTitres->isVisible());
    EXPECT_EQ(form->al().Find("saOterFichier")->ShortCut(), QKeySequence("Ctrl+Del"));
    form->EditerTitres->edTitre->setText("Scene %N: %D");
    form->EditerTitres->edSoustitre->setText("from %F");
    QTest::mouseClick(form->EditerTitres->btnApply, Qt::LeftButton);
    EXPECT_FALSE(form->EditerTitres->isVisible());
    EXPECT_EQ(SceneAt(1).Title, "Scene 2: " + SceneAt(1).DatecodeText);
    EXPECT_EQ(SceneAt(1).Subtitle, "from holiday");
    EXPECT_EQ(form->SceneBase->memoTitre->toPlainText(),
              SceneAt(1).Title + "\n" + SceneAt(1).Subtitle);
    EXPECT_EQ(Captions()[1], "Scene 2: " + SceneAt(1).Title);
    EXPECT_TRUE(SceneAt(0).Title.isEmpty()) << "only the shown scene";
    EXPECT_EQ(form->al().Find("saOterFichier")->ShortCut(), QKeySequence("Del"));
}

TEST_F(SceneEditor, NextAndPreviousSceneKeysFollowTheScenesBeingEdited)
{
    // Edited, not saved: the file still cuts at 30 and 60.
    Run("taEditerScenes");
    form->SelectSceneAndSeek(1);
    Run("saSupprimerScene");
    ASSERT_EQ(SceneRanges(), (RangeList{{0, 60}, {60, 75}}));

    form->SelectSceneAndSeek(0);
    viewdm.SeekTo(10);
    QTest::keyClick(form.get(), Qt::Key_F9);
    EXPECT_EQ(Position(), 60) << "F9 skips the merged cut";
    EXPECT_EQ(form->SFrame->lb->currentRow(), 1);
    QTest::keyClick(form.get(), Qt::Key_F8);
    EXPECT_EQ(Position(), 0) << "F8 goes back to the merged scene";
    EXPECT_EQ(form->SFrame->lb->currentRow(), 0);

    // A cut made here is a scene the keys go to.
    viewdm.SeekTo(45);
    Run("saInsererScene");
    ASSERT_EQ(SceneRanges(), (RangeList{{0, 45}, {45, 60}, {60, 75}}));
    form->SelectSceneAndSeek(0);
    viewdm.SeekTo(20);
    QTest::keyClick(form.get(), Qt::Key_F9);
    EXPECT_EQ(Position(), 45);
}

TEST_F(SceneEditor, UnsavedScenesAreAskedAboutOnceAndGoToTheirOwnVideo)
{
    const QByteArray saved = test::readFileBytes(CompanionFileName(m_video, ".scn"));
    Run("taEditerScenes");
    viewdm.SeekTo(10);
    Run("saInsererScene");
    ASSERT_TRUE(form->SFrame->Modified);

    // Another file becomes active: one question, the scenes saved to the
    // first video's file, the editor on the second one.
    const QString second = m_work->filePath("second.avi");
    ASSERT_TRUE(QFile::copy(s_joined, second));
    TFichierListModel *model = form->Lframe->lf->ListModel();
    model->OpenFichiers({second});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->Count() == 2 && !ScriptWaiting; }));
    answer = true;
    const int row = form->ActiveFichier->Path() == m_video ? 1 : 0;
    model->SetActiveIndex(row);
    model->UpdateActive();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ActiveFichier->Path() == second; }));
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(
        "Do you want to save the scenes in the scn file associated with holiday.avi?\r\n"));
    EXPECT_TRUE(questions[0].endsWith("If no, then all changes will be lost."));
    TSceneList first;
    ASSERT_TRUE(LoadScnFile(CompanionFileName(m_video, ".scn"), first, TSceneContext{}));
    EXPECT_EQ(first.size(), 4u);
    EXPECT_FALSE(QFile::exists(CompanionFileName(second, ".scn")));
    EXPECT_EQ(form->SFrame->VideoName, second);
    EXPECT_EQ(Captions(), (QStringList{"1: Unique Scene"}));

    // A change to the second list, discarded at close: asked once, and its
    // file left as it was (none).
    viewdm.SeekTo(10);
    Run("saInsererScene");
    answer = false;
    questions.clear();
    form->close();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_FALSE(QFile::exists(CompanionFileName(second, ".scn")));
    EXPECT_NE(test::readFileBytes(CompanionFileName(m_video, ".scn")), saved);
    form.reset();
}

class OverlayPlacement : public SceneEditor
{
protected:
    void SetUp() override
    {
        SceneEditor::SetUp();
        // The overlay editor writes the overlay's lines into the settings.
        editIncrust = std::make_unique<TEditIncrustForm>(&settings, &viewdm);
        form->SetEditIncrustForm(editIncrust.get());
    }
    void TearDown() override
    {
        SceneEditor::TearDown();
        editIncrust.reset();
    }

    std::unique_ptr<TEditIncrustForm> editIncrust;

    // The picture the view shows after the overlay filter took the change.
    QImage PausedPicture()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewdm.Superposer().FrameShown(); }, 3000));
        QTest::qWait(100);
        return form->VueFrame->vw->currentPicture();
    }
};

TEST_F(OverlayPlacement, SlidersMoveTheTextOfThePausedPictureOnly)
{
    // Without deinterlacing, which blends the text's rows into their
    // neighbours.
    settings.Deinterlace = false;
    form->ApplyOverlayPreferences();
    viewdm.SeekTo(20);
    Run("taEditerIncrust");
    ASSERT_TRUE(settings.IsIncrustOn) << "the editor shows the overlay";
    EXPECT_TRUE(form->VueFrame->incrustHorz->isVisible());
    EXPECT_FALSE(form->VueFrame->labTimeStamp->isVisible());
    viewdm.Refresh();
    const QImage before = PausedPicture();
    const QRect oldBox = viewdm.Superposer().LastLayout().textBox;
    ASSERT_TRUE(viewdm.Superposer().LastLayout().drawn);

    struct Case
    {
        QSlider *slider;
        Qt::Key key;
        int *setting;
        int expected;
    };
    const int x = settings.IncrustPositionX;
    const int y = settings.IncrustPositionY;
    QImage last = before;
    QRect lastBox = oldBox;
    for (const Case &c :
         {Case{form->VueFrame->incrustHorz, Qt::Key_PageDown, &settings.IncrustPositionX, x - 100},
          Case{form->VueFrame->incrustVert, Qt::Key_PageUp, &settings.IncrustPositionY, y - 100}}) {
        SCOPED_TRACE(c.slider == form->VueFrame->incrustHorz ? "horizontal" : "vertical");
        c.slider->setFocus();
        QTest::keyClick(c.slider, c.key);
        EXPECT_EQ(*c.setting, c.expected);
        const QImage after = PausedPicture();
        const QRect newBox = viewdm.Superposer().LastLayout().textBox;
        EXPECT_NE(newBox, lastBox);
        const QRect changedArea = lastBox.united(newBox);
        int inside = 0, outside = 0;
        for (int row = 0; row < after.height(); ++row)
            for (int col = 0; col < after.width(); ++col)
                if (after.pixel(col, row) != last.pixel(col, row))
                    ++(changedArea.contains(col, row) ? inside : outside);
        EXPECT_GT(inside, 100);
        EXPECT_EQ(outside, 0);
        last = after;
        lastBox = newBox;
    }
    Run("taEditerIncrust");
    EXPECT_FALSE(form->VueFrame->incrustHorz->isVisible());
    EXPECT_TRUE(form->VueFrame->labTimeStamp->isVisible());
}

TEST_F(OverlayPlacement, DraggingOnTheVideoPlacesTheTextThenThePreviewPausesAgain)
{
    QWidget *video = form->VueFrame->vw;
    auto state = [&] { return viewdm.graph().GetState(std::chrono::milliseconds(0)).state; };
    // Without the sliders a press places nothing.
    const int x = settings.IncrustPositionX;
    QTest::mouseClick(video, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(settings.IncrustPositionX, x);

    Run("taEditerIncrust");
    ASSERT_EQ(state(), media::FilterState::Paused);
    const QPoint quarter(video->width() / 4, video->height() / 2);
    QTest::mousePress(video, Qt::LeftButton, {}, quarter);
    EXPECT_TRUE(form->OverlayDragging());
    EXPECT_EQ(state(), media::FilterState::Running) << "the text moves live";
    EXPECT_EQ(settings.IncrustPositionX, quarter.x() * 1000 / video->width());
    EXPECT_EQ(settings.IncrustPositionY, quarter.y() * 1000 / video->height());
    const QPoint corner(video->width() * 3 / 4, video->height() / 5);
    QMouseEvent move(QEvent::MouseMove, corner, video->mapToGlobal(corner), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(video, &move);
    EXPECT_EQ(settings.IncrustPositionX, corner.x() * 1000 / video->width());
    EXPECT_EQ(form->VueFrame->incrustHorz->value(), settings.IncrustPositionX);
    EXPECT_EQ(form->VueFrame->incrustVert->value(), 1000 - settings.IncrustPositionY);
    EXPECT_EQ(viewdm.Superposer().Settings().PosY, settings.IncrustPositionY);
    QTest::mouseRelease(video, Qt::LeftButton, {}, corner);
    EXPECT_FALSE(form->OverlayDragging());
    EXPECT_EQ(state(), media::FilterState::Paused);
}

TEST_F(OverlayPlacement, SubtitleAlignmentTurnsCentredWhenTheTextMovesSideways)
{
    Run("taEditerIncrust");
    struct Case
    {
        QSlider *slider;
        std::uint8_t alignment;
    };
    for (const Case &c :
         {Case{form->VueFrame->incrustVert, 3}, Case{form->VueFrame->incrustHorz, 1}}) {
        settings.IncrustAlignment = 3;
        form->VueFrame->incrustHorz->setValue(300); // from code: no change
        EXPECT_EQ(settings.IncrustAlignment, 3);
        QTest::keyClick(c.slider, Qt::Key_PageUp);
        EXPECT_EQ(settings.IncrustAlignment, c.alignment);
        EXPECT_EQ(viewdm.Superposer().Settings().Alignment, c.alignment);
    }
}

TEST_F(OverlayPlacement, WithTheEditorOpenSpaceTypesAndCtrlSpacePlays)
{
    TtoggleAction *play = form->al().Toggle("saPlayStop");
    int plays = 0;
    play->OnfalseExecute = [&](QObject *) { ++plays; };
    play->OnTrueExecute = [&](QObject *) { ++plays; };
    play->SetChecked(false);
    play->setEnabled(true);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QWidget *target = form->VueFrame;

    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_EQ(plays, 1) << "Space plays while the editor is closed";
    Run("taEditerIncrust");
    ASSERT_TRUE(editIncrust->isVisible());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_EQ(plays, 1);
    QTest::keyClick(target, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(plays, 2);
    Run("taEditerIncrust");
    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_EQ(plays, 3) << "the key is back";
    EXPECT_EQ(play->ShortCut(), QKeySequence(Qt::Key_Space));
}

TEST_F(OverlayPlacement, PersonalLinesAreKeptAndDrawnInsideThePicture)
{
    settings.IncrustPositionX = 900;
    settings.IncrustPositionY = 900;
    settings.IncrustAlignment = 2;
    form->ApplyOverlayPreferences();
    Run("taEditerIncrust");
    QTest::mouseClick(editIncrust->tbTexte, Qt::LeftButton);
    editIncrust->edPerso1->clear();
    QTest::keyClicks(editIncrust->edPerso1, "Trip to %F");
    editIncrust->edPerso2->clear();
    QTest::keyClicks(editIncrust->edPerso2, "filmed %D at %T, then edited at home");
    EXPECT_EQ(settings.Text1, "Trip to %F");
    EXPECT_EQ(settings.Text2, "filmed %D at %T, then edited at home");

    // Closed and opened again, the editor and the picture show what was typed.
    Run("taEditerIncrust");
    Run("taEditerIncrust");
    EXPECT_EQ(editIncrust->edPerso1->text(), "Trip to %F");
    const QString line1 = "Trip to " + QFileInfo(m_video).completeBaseName();
    EXPECT_EQ(settings.Incrust.Line1, line1);
    viewdm.Refresh();
    PausedPicture();
    const OverlayLayout layout = viewdm.Superposer().LastLayout();
    ASSERT_TRUE(layout.drawn);
    EXPECT_EQ(layout.lines[0].text, line1);
    EXPECT_TRUE(layout.lines[1].text.startsWith("filmed "));
    // Both lines lie inside the picture, the long second one too.
    EXPECT_TRUE(QRect(0, 0, 720, 576).contains(layout.textBox))
        << layout.textBox.x() << "," << layout.textBox.y() << " " << layout.textBox.width() << "x"
        << layout.textBox.height();
    EXPECT_GT(layout.textBox.width(), 300);
}

TEST_F(OverlayPlacement, TheCopiedPictureIsFfmpegsFrame)
{
    settings.IsIncrustOn = false;
    form->ApplyOverlayPreferences();
    viewdm.SeekTo(40);
    Run("saCopierImagedansPP");
    const QImage copied = QApplication::clipboard()->image();
    // The picture at the display aspect of the entry: 720 x 540 for 4:3.
    const QSize size(form->ActiveFichier->Data().width, form->ActiveFichier->Data().height);
    ASSERT_EQ(copied.size(), QSize(720, 540));
    const auto reference = [&](int frame) {
        return test::ffmpegFrame(m_video, frame)
            .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const double own = MeanDifference(copied, reference(40));
    EXPECT_LT(own, 10.0);
    EXPECT_LT(own * 2, MeanDifference(copied, reference(10)));
}

TEST_F(OverlayPlacement, TheInformationTextsGoToTheClipboard)
{
    // A name in mixed case: the copied names keep it, as the file has it.
    const QString mixed = QFileInfo(m_video).absoluteDir().filePath("Holiday In ROME.avi");
    ASSERT_TRUE(QFile::copy(m_video, mixed));
    m_video = mixed;
    TFichierListModel *model = form->Lframe->lf->ListModel();
    model->OpenFichiers({m_video});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->Count() == 2 && !ScriptWaiting; }));
    for (int row = 0; row < model->Count(); ++row)
        if (model->GetFichier(row)->FullPath() == m_video)
            model->SetActiveIndex(row);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return form->ActiveFichier && form->ActiveFichier->FullPath() == m_video &&
               viewdm.GraphReady();
    }));
    const QString name = QFileInfo(m_video).fileName();
    struct Case
    {
        const char *entry;
        QString text;
    };
    for (const Case &c :
         {Case{"Copy the codec", form->BaseFrame->LabCodec->text()},
          Case{"Copy the full name", m_video}, Case{"Copy the short name", name},
          Case{"Copy the size of file", QLocale().toString(qlonglong(QFileInfo(m_video).size()))},
          Case{"Copy audio",
               form->BaseFrame->LabAudio1->text() + '\r' + form->BaseFrame->LabAudio2->text()}}) {
        SCOPED_TRACE(c.entry);
        QApplication::clipboard()->clear();
        QAction *entry = nullptr;
        for (QAction *a : form->copiermenu->actions())
            if (a->text() == QLatin1String(c.entry))
                entry = a;
        ASSERT_NE(entry, nullptr);
        entry->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), c.text);
    }
    EXPECT_EQ(form->copiermenu->actions().size(), 11);
}

} // namespace
} // namespace vidora
