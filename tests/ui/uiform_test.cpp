// The main window offscreen: its version texts, the status bar, the
// empty-list layout, the close question when no settings are stored, the
// settings kept at close, and a file named on the command line opening into
// the list and the preview, also among many files, a missing one and a broken
// one.
#include "ui/uiform.h"

#include "dvclipfile.h"
#include "files/avifichier.h"
#include "files/widgets/fichierlistbox.h"
#include "settings/widgets/saveprefsform.h"
#include "support/isolatedhome.h"
#include "support/tools.h"
#include "ui/displaylayout.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <limits>

using namespace vidora;

namespace {

// Answers the save-settings question when it shows: `choice` stores that
// way, no choice cancels.
void AnswerSavePrefs(std::optional<std::uint8_t> choice, bool *asked)
{
    QTimer::singleShot(50, [choice, asked] {
        auto *form = qobject_cast<TSavePrefsForm *>(QApplication::activeModalWidget());
        if (!form)
            return;
        *asked = true;
        if (choice) {
            form->Choice = *choice;
            form->Accepted = true;
            form->accept();
        } else {
            form->reject();
        }
    });
}

struct Window
{
    Window() { form->Switch1->Arguments.clear(); }

    test::IsolatedHome home;
    Settings settings{SettingsEnvironment::forRunningProgram()};
    Tviewdm viewdm;
    std::unique_ptr<TUIForm> form = std::make_unique<TUIForm>(settings, viewdm);
};

} // namespace

TEST(UIForm, VersionTextsAndCaption)
{
    EXPECT_EQ(VersionNumberText(), QStringLiteral("7.0.5"));
    EXPECT_EQ(AppVersionText(), QStringLiteral("Vidora 7.0.5 En"));
    Window w;
    EXPECT_EQ(w.form->windowTitle(), QStringLiteral("Vidora 7.0.5 En by Vesk Tobrek"));
    EXPECT_EQ(w.settings.AppVersionText, QStringLiteral("Vidora 7.0.5 En"));
    EXPECT_EQ(w.form->al().Find(QStringLiteral("saQuitter"))->Hint(),
              QStringLiteral("Quit Vidora"));
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Ready"));
    EXPECT_FALSE(w.form->StandardVerification);
    EXPECT_TRUE(w.form->SceneShown);
}

TEST(UIForm, ShowAppliesTheSettingsAndTheEmptyListLayout)
{
    Window w;
    w.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
    EXPECT_TRUE(w.form->VideFrame->isVisible());
    EXPECT_EQ(w.form->menuBar()->actions().size(), 8);
    // The empty list's narrow window.
    EXPECT_EQ(w.form->size(), kNarrowSize);
    EXPECT_EQ(w.form->al().Find(QStringLiteral("ccVisitHomepage"))->Caption(),
              QStringLiteral("Visit the homepage of Vidora"));
    EXPECT_TRUE(w.form->Lframe->labSelect->text().startsWith(QStringLiteral("0 file on 0 - ")));
    // With an empty list the commands are disabled; they keep their caption.
    EXPECT_FALSE(w.form->al().Find(QStringLiteral("ccConvertirDV2"))->isEnabled());
    EXPECT_EQ(w.form->al().Find(QStringLiteral("ccConvertirDV2"))->Caption(),
              QStringLiteral("Convert in type 2"));
    EXPECT_TRUE(w.form->al().Find(QStringLiteral("saOuvrirFichiers"))->isEnabled());
}

TEST(UIForm, StatusTextsAndColours)
{
    Window w;
    auto colour = [&] { return w.form->statusBar()->palette().color(QPalette::Window); };
    w.form->SetStatusText(QStringLiteral("Opening avi files"));
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Opening avi files"));
    EXPECT_EQ(colour(), kStatusColour);
    w.form->SetCommandMessage(QStringLiteral("Converting a.avi"));
    EXPECT_EQ(colour(), kCommandColour);
    // A status message while a command runs waits for its end.
    w.form->SetStatusText(QStringLiteral("Analysing /x"));
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Converting a.avi"));
    w.form->SetCommandMessage(QString());
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Analysing /x"));
    EXPECT_EQ(colour(), kStatusColour);
}

TEST(UIForm, WithoutStoredSettingsClosingAsksAndCancellingKeepsTheWindow)
{
    Window w;
    w.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
    ASSERT_EQ(w.settings.PreferencesMode, kPreferencesNone);

    bool asked = false;
    AnswerSavePrefs(std::nullopt, &asked);
    EXPECT_FALSE(w.form->close());
    EXPECT_TRUE(asked);
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_FALSE(QFile::exists(w.settings.environment().registryFilePath()));

    asked = false;
    AnswerSavePrefs(kPreferencesRegistry, &asked);
    EXPECT_TRUE(w.form->close());
    EXPECT_TRUE(asked);
    EXPECT_EQ(w.settings.PreferencesMode, kPreferencesRegistry);
    EXPECT_TRUE(QFile::exists(w.settings.environment().registryFilePath()));
}

// Ended from outside (SIGTERM), the window closes at once: with no store
// chosen it asks nothing, or closes the question already open, and saves
// nothing, as "do not save" would.
TEST(UIForm, TerminatingAsksNothingAndWithNoStoreSavesNothing)
{
    for (const bool questionOpen : {false, true}) {
        SCOPED_TRACE(questionOpen ? "the question is open" : "no question");
        Window w;
        w.form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
        ASSERT_EQ(w.settings.PreferencesMode, kPreferencesNone);
        int closed = 0;
        w.form->OnClosed = [&closed] { ++closed; };
        // Whatever question shows is seen, then left to the request to end:
        // a question still open a second later is cancelled.
        bool asked = false;
        QTimer::singleShot(50, w.form.get(), [&] {
            asked = qobject_cast<TSavePrefsForm *>(QApplication::activeModalWidget()) != nullptr;
            if (questionOpen)
                w.form->Terminate();
        });
        QTimer::singleShot(1000, w.form.get(), [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        if (questionOpen)
            EXPECT_TRUE(w.form->close());
        else
            w.form->Terminate();
        QTest::qWait(100);
        EXPECT_EQ(asked, questionOpen);
        EXPECT_FALSE(w.form->isVisible());
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(w.settings.PreferencesMode, kPreferencesNone);
        EXPECT_FALSE(QFile::exists(w.settings.environment().registryFilePath()));
        EXPECT_FALSE(QFile::exists(w.settings.environment().iniFilePath()));
    }
}

TEST(UIForm, StoredSettingsComeBackAndAMissingSaveFolderMeansTheSameFolder)
{
    test::IsolatedHome home;
    {
        Settings stored(SettingsEnvironment::forRunningProgram());
        stored.PreferencesMode = kPreferencesRegistry;
        stored.Width = 700;
        stored.Height = 560;
        stored.SaveInSameFolder = false;
        stored.SaveFolder = home.root() + QStringLiteral("/no such folder/");
        stored.SortIndex = QStringLiteral("datecode");
        stored.SavePreferences();
    }
    Settings settings(SettingsEnvironment::forRunningProgram());
    Tviewdm viewdm;
    auto form = std::make_unique<TUIForm>(settings, viewdm);
    form->Switch1->Arguments.clear();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(settings.PreferencesMode, kPreferencesRegistry);
    form->SetDisplayMode(displaymode::Full);
    EXPECT_EQ(form->size(), QSize(700, 560));
    EXPECT_TRUE(settings.SaveInSameFolder);
    EXPECT_EQ(form->Lframe->lf->ListModel()->SortIndex(), SortDatecode());

    // Closing needs no question and saves the window's size.
    form->resize(640, 580);
    EXPECT_TRUE(form->close());
    form.reset();
    Settings reread(SettingsEnvironment::forRunningProgram());
    reread.LoadPreferences();
    EXPECT_EQ(reread.Width, 640);
    EXPECT_EQ(reread.Height, 580);
    EXPECT_EQ(reread.SortIndex, QStringLiteral("datecode"));
    // Qt keeps the first settings folder of the run: no later test reads these.
    reread.DeleteRegistryPreferences();
}

// Stored values at the integer limits: the window lies on the screen, and
// the overlay sliders and the volume take values in their ranges.
TEST(UIForm, StoredValuesAtTheIntegerLimitsGiveAWindowOnTheScreen)
{
    test::IsolatedHome home;
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    {
        Settings stored(SettingsEnvironment::forRunningProgram());
        stored.PreferencesMode = kPreferencesRegistry;
        stored.Left = kMax;
        stored.Top = kMin;
        stored.Width = kMax;
        stored.Height = kMax;
        stored.IncrustPositionX = kMax;
        stored.IncrustPositionY = kMin;
        stored.Volume = kMin;
        stored.SavePreferences();
    }
    Settings settings(SettingsEnvironment::forRunningProgram());
    Tviewdm viewdm;
    auto form = std::make_unique<TUIForm>(settings, viewdm);
    form->Switch1->Arguments.clear();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect screen = form->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(form->geometry()))
        << form->geometry().x() << "," << form->geometry().y();
    EXPECT_TRUE(
        screen.contains(QRect(settings.Left, settings.Top, settings.Width, settings.Height)));
    EXPECT_EQ(settings.IncrustPositionX, 1000);
    EXPECT_EQ(settings.IncrustPositionY, 0);
    EXPECT_EQ(form->VueFrame->incrustVert->value(), 1000);
    EXPECT_EQ(settings.Volume, 0);
    form->close();
    form.reset();
    // Qt keeps the first settings folder of the run: no later test reads these.
    settings.DeleteRegistryPreferences();
}

TEST(UIForm, AFileOnTheCommandLineOpensIntoTheListAndIsPreviewed)
{
    Window w;
    QTemporaryDir dir;
    const QString path = test::WriteDvClip(dir.path());
    ASSERT_FALSE(path.isEmpty());
    w.form->Switch1->Arguments = {path};
    w.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
    w.form->Switch1->Activate();
    TFichierListModel *model = w.form->Lframe->lf->ListModel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->Count() == 1 && w.form->ActiveFichier; }));
    EXPECT_EQ(QFileInfo(w.form->ActiveFichier->Path()).canonicalFilePath(),
              QFileInfo(path).canonicalFilePath());
    EXPECT_EQ(w.form->VueFrame->CurrentFile(), w.form->ActiveFichier);
    EXPECT_EQ(w.viewdm.Entry().FileName, w.form->ActiveFichier->Path());
    EXPECT_FALSE(w.form->VideFrame->isVisible());
    EXPECT_TRUE(w.form->Lframe->labSelect->text().contains(QStringLiteral(" on 1 - ")));
    EXPECT_FALSE(ScriptWaiting);
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Ready"));
    w.settings.PreferencesMode = kPreferencesRegistry;
    EXPECT_TRUE(w.form->close());
}

TEST(UIForm, FilesOnTheCommandLineOpenTogetherPastAMissingAndABrokenOne)
{
    Window w;
    QTemporaryDir dir;
    const QString clip = test::WriteDvClip(dir.path());
    ASSERT_FALSE(clip.isEmpty());
    // The names sort in argument order; "b" is no video, "c" is not there.
    QStringList arguments{QStringLiteral("+so")};
    QStringList listed;
    for (const char *name : {"a1.avi", "a2.avi", "b.avi", "c.avi", "d1.avi", "d2.avi"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        arguments << path;
        if (path.endsWith(QStringLiteral("c.avi")))
            continue;
        if (path.endsWith(QStringLiteral("b.avi")))
            test::writeFileBytes(path, QByteArray("RIFF\x10\0\0\0AVI junk", 16));
        else
            ASSERT_TRUE(QFile::copy(clip, path));
        listed << QFileInfo(path).canonicalFilePath();
    }
    w.form->Switch1->Arguments = arguments;
    TFichierListModel *model = w.form->Lframe->lf->ListModel();
    int openings = 0;
    QObject::connect(model, &TFichierListModel::openStart, [&] { ++openings; });
    w.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
    // The run (at the first activation, or here) returns once the opening
    // has ended.
    w.form->Switch1->Activate();
    EXPECT_EQ(openings, 1);
    EXPECT_FALSE(ScriptWaiting);
    EXPECT_FALSE(model->Opening());
    QStringList paths;
    for (int row = 0; row < model->Count(); ++row)
        paths << model->GetFichier(row)->Path();
    EXPECT_EQ(paths, listed);
    EXPECT_EQ(model->SelectedCount(), 5);
    const auto broken = std::dynamic_pointer_cast<TaviFichier>(model->GetFichier(2));
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->Data().pictureText, kNotAvailable);
    EXPECT_TRUE(w.form->Lframe->labSelect->text().contains(QStringLiteral(" on 5 - ")))
        << w.form->Lframe->labSelect->text().toStdString();
    EXPECT_EQ(w.form->StatusPanel->text(), QStringLiteral("Ready"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->ActiveFichier != nullptr; }));
    EXPECT_EQ(w.form->ActiveFichier->Path(), listed.first());
    w.settings.PreferencesMode = kPreferencesRegistry;
    EXPECT_TRUE(w.form->close());
}
