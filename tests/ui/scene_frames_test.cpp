// The scene editor's frames and the titles editor, used as a person uses
// them: lists loaded from scene files, saved back, next and previous scene,
// one scene shown, templates applied.
#include "scenes/edittitres.h"
#include "scenes/scenefile.h"
#include "scenes/widgets/edittitresform.h"
#include "scenes/widgets/scenelisteframe.h"

#include "support/tools.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace vidora {
namespace {

using test::readFileBytes;
using test::writeFileBytes;

TSceneContext Context()
{
    TSceneContext context;
    TSceneVideo video;
    video.path = "/v/clip.avi";
    video.width = 720;
    video.height = 576;
    video.frameRate = 25;
    video.frameCount = 1000;
    context.video = video;
    context.locale = QLocale::c();
    return context;
}

class FakeNavigator : public ISceneNavigator
{
public:
    void Pause() override { ++pauses; }
    std::uint32_t CurrentFrame() override { return position; }
    void SeekTo(std::uint32_t frame) override
    {
        seeks.push_back(frame);
        position = frame;
    }
    int pauses = 0;
    std::uint32_t position = 0;
    std::vector<std::uint32_t> seeks;
};

class SceneFrames : public ::testing::Test
{
protected:
    TSceneFrameServices Services()
    {
        TSceneFrameServices services;
        services.context = [] { return Context(); };
        services.navigator = &m_navigator;
        services.reportError = [this](const QString &message) { m_errors << message; };
        services.openFile = [this](const QString &file) { m_opened << file; };
        services.listing.versionText = "7.0.5";
        return services;
    }

    QString Video(const char *name = "clip.avi") const
    {
        return m_dir.filePath(QString::fromUtf8(name));
    }

    void WriteScn(const QString &video,
                  std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> scenes)
    {
        TwriteScene writer(video);
        for (const auto &[start, end] : scenes)
            writer.AddScene(TSceneClass(start, end, TSceneContext{}));
        ASSERT_TRUE(writer.Close());
    }

    QStringList Items(const TSFrame &frame) const
    {
        QStringList items;
        for (int i = 0; i < frame.lb->count(); ++i)
            items << frame.lb->item(i)->text();
        return items;
    }

    QTemporaryDir m_dir;
    FakeNavigator m_navigator;
    QStringList m_errors;
    QStringList m_opened;
};

TEST_F(SceneFrames, AVideoWithoutSceneFileListsOneSceneForTheWholeVideo)
{
    TSFrame frame(Services());
    frame.ShowScenes(Video(), 1000);
    EXPECT_EQ(Items(frame), QStringList{"1: Unique Scene"});
    const auto scene = frame.GetScene(0);
    ASSERT_TRUE(scene);
    EXPECT_EQ(scene->StartFrame, 0u);
    EXPECT_EQ(scene->EndFrame, 1000u);
    EXPECT_EQ(scene->Subtitle, "representing a video not yet analyzed");
    EXPECT_EQ(frame.VideoName, Video());
    EXPECT_FALSE(frame.Modified);
}

TEST_F(SceneFrames, ASceneFileIsListedAndADamagedOneEndsWithTheErrorItem)
{
    const QString video = Video("vidéo 日本.avi");
    WriteScn(video, {{0, 250}, {250, 400}, {400, 1000}});
    TSFrame frame(Services());
    frame.Modified = true;
    frame.ShowScenes(video, 1000);
    EXPECT_EQ(Items(frame), (QStringList{"Scene 1: ", "Scene 2: ", "Scene 3: "}));
    EXPECT_FALSE(frame.Modified);

    const QString scn = CompanionFileName(video, ".scn");
    const QByteArray bytes = readFileBytes(scn);
    writeFileBytes(scn, bytes.left(bytes.size() - 10));
    frame.ShowScenes(video, 1000);
    EXPECT_EQ(Items(frame), (QStringList{"Scene 1: ", "Scene 2: ", "1: Error in the scn file"}));
    EXPECT_EQ(frame.GetScene(2)->EndFrame, 0u);
}

TEST_F(SceneFrames, SavedListLoadsBack)
{
    TSFrame frame(Services());
    frame.ShowUnanalysed(Video(), 500);
    frame.GetScene(0)->Title = QString::fromUtf8("Plage d'été");
    frame.Modified = true;
    ASSERT_TRUE(frame.SaveScn(Video()));
    EXPECT_FALSE(frame.Modified);
    frame.LoadScenes(Video());
    EXPECT_EQ(Items(frame), QStringList{QString::fromUtf8("Scene 1: Plage d'été")});
    EXPECT_EQ(frame.GetScene(0)->EndFrame, 500u);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(SceneFrames, NextAndPreviousSceneStarts)
{
    WriteScn(Video(), {{0, 250}, {250, 400}, {400, 1000}});
    TSFrame frame(Services());
    frame.LoadScenes(Video());
    struct Case
    {
        std::uint32_t position, next, prev;
    };
    for (const Case &c :
         {Case{0, 250, 0}, Case{100, 250, 0}, Case{250, 400, 0}, Case{300, 400, 250},
          Case{400, 1000, 250}, Case{999, 1000, 400}, Case{5000, 1000, 400}}) {
        EXPECT_EQ(frame.NextSceneStart(c.position, 1000), c.next) << c.position;
        EXPECT_EQ(frame.PrevSceneStart(c.position), c.prev) << c.position;
    }
    m_navigator.position = 260;
    frame.GoNextScene(1000);
    frame.GoPrevScene();
    frame.GoPrevScene();
    EXPECT_EQ(m_navigator.seeks, (std::vector<std::uint32_t>{400, 250, 0}));
    EXPECT_EQ(m_navigator.pauses, 3);
}

TEST_F(SceneFrames, ExportsWriteTheListAsItStandsOrSayWhyNot)
{
    TSFrame frame(Services());
    frame.ShowUnanalysed(Video(), 500);
    ASSERT_TRUE(frame.ExportText(Video()));
    EXPECT_TRUE(
        readFileBytes(m_dir.filePath("clip_scn.txt"))
            .contains(
                "  1, 0:00:00:00, 0:00:19:24, 20.00, , , Unique Scene, representing a video not "
                "yet analyzed\r\n"));

    TSceneFrameServices services = Services();
    services.office.officePath = m_dir.filePath("no-office/soffice.bin");
    TSFrame noOffice(services);
    noOffice.ShowUnanalysed(Video(), 500);
    EXPECT_FALSE(noOffice.ExportCalc(Video()));
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains("libreoffice-calc-nogui"));
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_FALSE(QFile::exists(m_dir.filePath("clip.ods")));
}

TEST_F(SceneFrames, TheScenePanelShowsOneSceneAndMovesTheVideoToIt)
{
    TSceneBase panel(Services());
    auto scene = std::make_shared<TSceneClass>(1525, 3050, Context());
    scene->Number = 2;
    scene->Title = "Beach";
    scene->Subtitle = "Sun";
    scene->DatecodeText = "12/05/2006";
    scene->TimecodeText = "00.01.01.00";
    scene->StartText = "0:01:01:00";
    panel.ShowScene(scene);
    EXPECT_EQ(panel.labScene->text(), "Scene 2");
    EXPECT_EQ(panel.labDuree->text(), "Duration 01:01.00");
    EXPECT_EQ(panel.labDatecode->text(), "12/05/2006");
    EXPECT_EQ(panel.labTimecode->text(), "00.01.01.00");
    EXPECT_EQ(panel.labTimeStamp->text(), "0:01:01:00");
    EXPECT_EQ(panel.memoTitre->toPlainText(), "Beach\nSun");
    // The 5:4 thumbnail fitted into the image's bounds.
    EXPECT_EQ(panel.image->size(), QSize(135, 108));
    EXPECT_TRUE(panel.ImageBounds.contains(panel.image->geometry()));
    EXPECT_EQ(panel.ShownScene(), scene);
    EXPECT_EQ(m_navigator.seeks, std::vector<std::uint32_t>{1525});

    panel.memoTitre->setPlainText(QString(300, 'x'));
    EXPECT_EQ(panel.memoTitre->toPlainText().size(), TSceneBase::kMaxCaption);
}

TEST_F(SceneFrames, TitlesEditorPreviewsTheTemplatesAndReportsTheChoice)
{
    TSceneClass scene(0, 75, Context());
    scene.Number = 4;
    scene.DatecodeText = "12/05/2006";
    TEditerTitresForm form([&] { return &scene; }, [] { return Context(); });
    QSignalSpy closing(&form, &TEditerTitresForm::closeRequested);
    form.show();

    scene.Title = "Scene 4: 12/05/2006";
    form.LoadFromScene(&scene);
    EXPECT_EQ(form.edTitre->text(), "Scene %N: %D");

    QTest::mouseClick(form.btnEmpty, Qt::LeftButton);
    EXPECT_TRUE(form.edTitre->text().isEmpty());
    QTest::mouseClick(form.btnStudio, Qt::LeftButton);
    EXPECT_EQ(form.edSoustitre->text(), "Duration = %U");
    EXPECT_EQ(form.LabTitres->text(), "Scene 4: 12/05/2006\nDuration = 03.00");
    form.edTitre->clear();
    QTest::keyClicks(form.edTitre, "%F #%n");
    EXPECT_EQ(form.LabTitres->text(), "clip #4\nDuration = 03.00");

    QTest::mouseClick(form.btnAll, Qt::LeftButton);
    EXPECT_EQ(form.Choice, kTitlesApplyAll);
    EXPECT_EQ(closing.count(), 1);
    EXPECT_TRUE(form.isVisible()); // the titles action hides it
    form.close();                  // the title bar: the last choice stands
    EXPECT_EQ(closing.count(), 2);
    EXPECT_EQ(form.Choice, kTitlesApplyAll);
    EXPECT_TRUE(form.isVisible());
    QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    EXPECT_EQ(form.Choice, kTitlesCancel);
}

TEST_F(SceneFrames, TemplatesApplyToTheShownSceneOrToAll)
{
    const TSceneContext context = Context();
    TSceneList list = UnanalysedSceneList(100, context);
    auto second = std::make_shared<TSceneClass>(100, 150, context);
    second->Number = 2;
    list.push_back(TSceneItem{second->GetCaption(), second});

    EXPECT_FALSE(ApplyTitleTemplates(kTitlesCancel, "x", "y", second.get(), list, context));
    EXPECT_EQ(second->Title, "");
    EXPECT_TRUE(
        ApplyTitleTemplates(kTitlesApplyShown, "Scene %N", "%U", second.get(), list, context));
    EXPECT_EQ(list[1].Text, "Scene 2: Scene 2");
    EXPECT_EQ(second->Subtitle, "02.00");
    EXPECT_EQ(list[0].Scene->Title, kUniqueSceneTitle);
    EXPECT_TRUE(ApplyTitleTemplates(kTitlesApplyAll, "%F %N", "", nullptr, list, context));
    EXPECT_EQ(list[0].Text, "Scene 1: clip 1");
    EXPECT_EQ(list[1].Text, "Scene 2: clip 2");
}

} // namespace
} // namespace vidora
