// The main window's file commands offscreen: which actions and menus show
// for an empty list, the About panel and a listed file; a command run from
// the menu with its busy state, status texts and output; a preparation that
// pre-selects the file's codec and cancels; the error box; Esc in full
// screen; and scripts whose lines each wait for the work of the previous one,
// also when a command fails.
#include "ui/uiform.h"

#include "commands/dialogvalues.h"
#include "files/commandengine.h"
#include "files/widgets/fichierlistbox.h"
#include "formats/fpsunit.h"
#include "support/dvfiles.h"
#include "support/isolatedhome.h"
#include "support/tools.h"
#include "ui/commandactions.h"
#include "ui/ubaseframe.h"
#include "ui/uvideframe.h"
#include "ui/valueforms.h"
#include "video/graphs/viewgraph.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vidora;

namespace {

// A DV type-1 clip of `frames` frames in `dir`, 4:3 PAL, dated.
QString WriteClip(const QString &dir, int frames, const QString &name = QStringLiteral("clip.avi"))
{
    const QByteArray raw = test::ffmpegRawDv(dir, test::DvClip{.frames = frames});
    const QString path = dir + u'/' + name;
    QFile file(path);
    if (raw.isEmpty() || !file.open(QIODevice::WriteOnly) ||
        file.write(test::dvType1Avi(raw)) <= 0) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return QString();
    }
    return path;
}

QString Probe(const QString &path, const QString &entries)
{
    const test::ToolResult r =
        test::runTool("ffprobe", {"-v", "error", "-show_entries", entries, "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed();
}

struct Window
{
    // `stored` runs on the settings kept before the window reads them.
    explicit Window(const std::function<void(Settings &)> &stored = {})
    {
        Settings keep(SettingsEnvironment::forRunningProgram());
        keep.PreferencesMode = kPreferencesRegistry;
        if (stored)
            stored(keep);
        keep.SavePreferences();
        form = std::make_unique<TUIForm>(settings, viewdm);
        form->Switch1->Arguments.clear();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    ~Window()
    {
        if (form)
            form->close();
    }

    QAction *Action(const char *name) const { return form->al().Find(QString::fromUtf8(name)); }
    TFichierListModel &Model() const { return *form->Lframe->lf->ListModel(); }
    bool MenuShown(const QString &title) const
    {
        for (QAction *top : form->menuBar()->actions())
            if (top->text() == title)
                return top->isVisible();
        ADD_FAILURE() << "no menu " << title.toStdString();
        return false;
    }
    void Open(const QString &path)
    {
        Model().OpenFichiers({path});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ScriptWaiting && form->ActiveFichier; }, 20000));
    }
    bool WaitForCommandEnd(int ms = 60000)
    {
        return QTest::qWaitFor(
            [&] { return !form->Commands().Engine().IsRunning() && !ScriptWaiting; }, ms);
    }

    test::IsolatedHome home;
    Settings settings{SettingsEnvironment::forRunningProgram()};
    Tviewdm viewdm;
    std::unique_ptr<TUIForm> form;
};

// Runs `answer` on the first modal dialog that shows.
void OnModal(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start();
}

} // namespace

TEST(UIFormCommands, EmptyListShowsOnlyPermanentAndOpenActionsAboutOnlyPermanentOnes)
{
    Window w;
    for (const char *name :
         {"saQuitter", "taApropos", "ccVisitHomepage", "saOuvrirFichiers", "saOuvrirunDossier"})
        EXPECT_TRUE(w.Action(name)->isVisible() && w.Action(name)->isEnabled()) << name;
    for (const char *name : {"ccConvertirDV2", "saPlayStop", "saOrdreAlpha", "saViderListe",
                             "ccRenommer", "taEditerScenes"})
        EXPECT_FALSE(w.Action(name)->isVisible() || w.Action(name)->isEnabled()) << name;
    // A menu with no entry left disappears.
    for (const char *title : {"Video", "Rename", "Convert", "Inlay", "Scenes"})
        EXPECT_FALSE(w.MenuShown(QString::fromUtf8(title))) << title;
    EXPECT_TRUE(w.MenuShown(QStringLiteral("Files")));
    EXPECT_TRUE(w.MenuShown(QStringLiteral("?")));

    w.Action("taApropos")->trigger();
    EXPECT_FALSE(w.Action("saOuvrirFichiers")->isVisible());
    EXPECT_TRUE(w.Action("saQuitter")->isVisible());
    EXPECT_TRUE(w.Action("taApropos")->isVisible());
    w.Action("taApropos")->trigger();
    EXPECT_TRUE(w.Action("saOuvrirFichiers")->isVisible());
}

TEST(UIFormCommands, AListedClipEnablesItsCommandsForTheSelectionAndRunsOneFromTheMenu)
{
    Window w;
    QTemporaryDir dir;
    const QString path = WriteClip(dir.path(), 25);
    ASSERT_FALSE(path.isEmpty());
    w.Open(path);
    EXPECT_TRUE(w.MenuShown(QStringLiteral("Convert")));
    QAction *toType2 = w.Action("ccConvertirDV2");
    w.Model().selectionModel()->clearSelection();
    w.Model().UpdateCounts();
    EXPECT_TRUE(toType2->isVisible());
    EXPECT_FALSE(toType2->isEnabled()) << "nothing is selected";
    w.form->Lframe->lf->selectAll();
    w.Model().UpdateCounts();
    EXPECT_TRUE(toType2->isEnabled());
    EXPECT_FALSE(w.Action("ccConvertirDV1")->isEnabled()) << "the clip is of type 1 already";
    EXPECT_TRUE(w.Action("ccDossierParent")->isEnabled());

    QStringList messages;
    const auto oldMessage = w.form->Commands().Engine().OnMessageCommand;
    w.form->Commands().Engine().OnMessageCommand = [&](const QString &text) {
        messages << text;
        oldMessage(text);
        EXPECT_EQ(w.form->StatusPanel->text(), text);
    };
    toType2->trigger();
    // The busy state a script waits on is set before the action returns.
    EXPECT_TRUE(ScriptWaiting);
    EXPECT_TRUE(w.form->Commands().Engine().IsRunning());
    ASSERT_TRUE(w.WaitForCommandEnd());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Converting clip.avi in type 2")});
    EXPECT_TRUE(w.form->CommandMessage.isEmpty());
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Ready"));
    EXPECT_FALSE(w.form->BaseFrame->Gauge1->isVisible());

    const QString output = dir.filePath(QStringLiteral("clip_type2.avi"));
    EXPECT_EQ(Probe(output, QStringLiteral("stream=codec_name")),
              QStringLiteral("dvvideo\npcm_s16le"));
    EXPECT_EQ(w.Model().Count(), 2) << "the output joins the list";
}

TEST(UIFormCommands, TheCodecDialogStartsFromTheFileCodecAndCancellingRunsNothing)
{
    Window w;
    QTemporaryDir dir;
    // A type-2 file: the list shows its video stream's own code.
    ASSERT_FALSE(test::ffmpegRawDv(dir.path(), test::DvClip{}).isEmpty());
    const QString path = dir.filePath(QStringLiteral("clip.avi"));
    ASSERT_TRUE(test::ffmpegDvType2Avi(dir.filePath(QStringLiteral("rawpal-3.dv")), path));
    ASSERT_TRUE(WriteAviCodec(path, StrToFourCC(QStringLiteral("CDVC"))));
    w.Open(path);
    w.form->Lframe->lf->selectAll();
    w.Model().UpdateCounts();
    ASSERT_TRUE(w.Action("ccModifierCodec")->isEnabled());

    int choice = -1;
    bool editEnabled = true;
    OnModal([&](QWidget *modal) {
        auto *codec = qobject_cast<TCodecForm *>(modal);
        ASSERT_NE(codec, nullptr);
        choice = codec->rgCodec->checkedId();
        editEnabled = codec->le->isEnabled();
        codec->CancelBtn->click();
    });
    EXPECT_FALSE(static_cast<TCustomSuperAction *>(w.Action("ccModifierCodec"))->Execute());
    EXPECT_EQ(choice, int(TCodecChoice::Cdvc)) << "case aside";
    EXPECT_FALSE(editEnabled);
    EXPECT_TRUE(ActionParams.isEmpty());
    EXPECT_FALSE(w.form->Commands().Engine().IsRunning());
    EXPECT_FALSE(ScriptWaiting);
}

TEST(UIFormCommands, AnErrorShowsTheCommandTextAndWhatBecomesOfTheWork)
{
    Window w;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    OnModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        icon = box->icon();
        buttons = int(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    w.form->Commands().ShowError(
        QStringLiteral("An error occured while converting /v/a.avi in Pal"),
        TErrorType::etAllError);
    EXPECT_EQ(text, QStringLiteral("An error occured while converting /v/a.avi in Pal\n"
                                   "The command will be aborted."));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
}

TEST(UIFormCommands, EscapeInFullScreenOnlyLeavesFullScreen)
{
    Window w;
    QTemporaryDir dir;
    const QString path = WriteClip(dir.path(), 3);
    ASSERT_FALSE(path.isEmpty());
    auto *fullscreen = static_cast<TtoggleAction *>(w.Action("taFullscreen"));
    int left = 0;
    fullscreen->OnTrueExecute = [&](QObject *) {
        ++left;
        fullscreen->SetChecked(false);
    };
    fullscreen->SetChecked(true);
    // An opening under way is not aborted by the Esc that leaves full screen.
    w.Model().OpenFichiers({path});
    w.Action("saInterrompre")->trigger();
    EXPECT_EQ(left, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Model().Count() == 1; }, 20000));
}

TEST(UIFormCommands, AScriptRunsEachLineAfterThePreviousWorkEnded)
{
    // Subtitles on every frame.
    Window w([](Settings &s) { s.Incrust.When = 0; });
    w.settings.Incrust.Line1 = QStringLiteral("%D1");
    QTemporaryDir dir;
    const QString path = WriteClip(dir.path(), 50);
    ASSERT_FALSE(path.isEmpty());
    const QString script = dir.filePath(QStringLiteral("run.txt"));
    test::writeFileBytes(script, QStringLiteral("selectwhenopen=true\r\n"
                                                "openfiles=%1\r\n"
                                                "convert16x9\r\n"
                                                "createsrt\r\n"
                                                "createscnbyinterval=1\r\n"
                                                "quit\r\n")
                                     .arg(path)
                                     .toUtf8());
    EXPECT_TRUE(w.form->script1->ExecuteFile(script));
    EXPECT_FALSE(w.form->isVisible()) << "quit closes the window after the last line";

    const QString wide = dir.filePath(QStringLiteral("clip_16x9.avi"));
    const QString srt = dir.filePath(QStringLiteral("clip.srt"));
    const QString scn = dir.filePath(QStringLiteral("clip.scn"));
    EXPECT_EQ(Probe(wide, QStringLiteral("stream=display_aspect_ratio")).section(u'\n', 0, 0),
              QStringLiteral("16:9"));
    EXPECT_EQ(Probe(srt, QStringLiteral("stream=codec_name")), QStringLiteral("subrip"));
    ASSERT_TRUE(QFileInfo::exists(scn)) << "the interval of the script line reached the command";
    // Each file was written after the one of the line before it was complete.
    EXPECT_LE(QFileInfo(wide).lastModified(), QFileInfo(srt).lastModified());
    EXPECT_LE(QFileInfo(srt).lastModified(), QFileInfo(scn).lastModified());
}

TEST(UIFormCommands, AFailingScriptedCommandIsShownAndTheScriptGoesOn)
{
    // No output can be written in the save folder.
    Window w([](Settings &s) {
        s.SaveInSameFolder = false;
        s.SaveFolder = QStringLiteral("/proc/");
    });
    QTemporaryDir dir;
    const QString path = WriteClip(dir.path(), 10);
    ASSERT_FALSE(path.isEmpty());
    const QString script = dir.filePath(QStringLiteral("run.txt"));
    test::writeFileBytes(script, QStringLiteral("selectwhenopen=true\n"
                                                "openfiles=%1\n"
                                                "convert16x9\n"
                                                "createsrt\n")
                                     .arg(path)
                                     .toUtf8());
    EXPECT_TRUE(w.form->script1->ExecuteFile(script));

    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("clip.srt"))))
        << "the line after the failing one ran";
    auto *box = w.form->findChild<QMessageBox *>(QStringLiteral("CommandErrorBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().startsWith(QStringLiteral("An error occured while converting ") + path +
                                       QStringLiteral(" to 16x9")))
        << box->text().toStdString();
    EXPECT_TRUE(box->text().endsWith(QStringLiteral("\nThe current file has been aborted.")));
    EXPECT_FALSE(ScriptWaiting);
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Ready"));
}
