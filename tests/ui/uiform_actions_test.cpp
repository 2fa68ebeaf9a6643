// The main window's actions as the program makes them and as a person
// reaches them: every row of the catalogue runs something, the RIFF header
// action opens the analyser on the active file, and keys pressed on the
// window (the keypad's among them) run the action they are shown for.
#include "dvclipfile.h"
#include "files/commandengine.h"
#include "files/commands.h"
#include "formats/widgets/riffform.h"
#include "settings/scripts.h"
#include "settings/widgets/raccourcisform.h"
#include "support/isolatedhome.h"
#include "ui/actioncatalogue.h"
#include "ui/aproposframe.h"
#include "ui/commandactions.h"
#include "ui/ueditincrust.h"
#include "ui/uiform_window.h"

#include <QApplication>
#include <QDesktopServices>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace vidora::test {
namespace {

TEST(MainWindowActions, EveryRowOfTheCatalogueHasItsBehaviour)
{
    IsolatedHome home;
    // The window as the program puts it together.
    Settings settings(SettingsEnvironment::forRunningProgram());
    Tviewdm viewdm;
    TUIForm form(settings, viewdm);
    TEditIncrustForm editIncrust(&settings, &viewdm);
    form.SetEditIncrustForm(&editIncrust);
    Tplaque plaque;
    form.SetPlaque(&plaque);
    TRaccourcisForm raccourcis(settings, form.al().Actions());
    form.SetRaccourcisForm(&raccourcis);

    EXPECT_EQ(form.al().WithoutBehaviour(), QStringList());
    for (const TActionRow &row : ActionCatalogue()) {
        SCOPED_TRACE(row.name);
        const tAbstractCmd *command = form.Commands().CommandOf(form.al().Find(row.name));
        if (*row.command == '\0') {
            EXPECT_EQ(command, nullptr);
            continue;
        }
        ASSERT_NE(command, nullptr);
        EXPECT_EQ(command->Name.toLower(), QString::fromUtf8(row.command).toLower());
    }
    EXPECT_NE(form.Commands().CommandOf(form.al().Find("saRiffHeader")), nullptr);

    // A name the catalogue does not hold is a slip that shows at once.
    EXPECT_THROW(form.al().Find("saNoSuchAction"), std::out_of_range);
    EXPECT_THROW(form.al().Toggle("saQuitter"), std::out_of_range);
    EXPECT_THROW(form.al().Plain("taMute"), std::out_of_range);
}

class WindowActions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        ASSERT_TRUE(m_dir.isValid());
        m_clip = WriteDvClip(m_dir.path());
        ASSERT_FALSE(m_clip.isEmpty());
        // Qt keeps the first settings folder it was shown for the whole run:
        // each window here starts from no stored settings and leaves none.
        Settings(SettingsEnvironment::forRunningProgram()).DeleteRegistryPreferences();
        w = std::make_unique<Window>();
        // Closing stores the settings, and asks nothing.
        w->settings.PreferencesMode = kPreferencesRegistry;
        ASSERT_TRUE(w->Open(m_clip));
        w->form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w->form.get()));
    }

    void TearDown() override
    {
        w.reset();
        Settings(SettingsEnvironment::forRunningProgram()).DeleteRegistryPreferences();
    }

    // A counter in place of the action's command, the action enabled.
    int *Count(const char *name)
    {
        auto *plain = w->form->al().Plain(QString::fromLatin1(name));
        plain->Onexecute = [this, name](QObject *) { ++m_runs[name]; };
        plain->setEnabled(true);
        return &m_runs[name];
    }

    IsolatedHome m_home;
    QTemporaryDir m_dir;
    QString m_clip;
    std::unique_ptr<Window> w;
    std::map<std::string, int> m_runs;
};

TEST_F(WindowActions, ReadingTheRiffHeaderOpensTheAnalyserOnTheActiveFile)
{
    QString title;
    int lines = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *analyser = qobject_cast<TRiffForm *>(top);
            if (analyser == nullptr || !analyser->isVisible())
                continue;
            watcher.stop();
            title = analyser->windowTitle();
            lines = analyser->ListBox1->count();
            QTest::mouseClick(analyser->FermerBtn, Qt::LeftButton);
        }
    });
    watcher.start(20);
    QTest::keyClick(w->form.get(), Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !title.isEmpty(); }, 20000));
    EXPECT_EQ(title, "Header of the file " + m_clip);
    EXPECT_GT(lines, 20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->form->Commands().Engine().IsRunning(); }));
}

TEST_F(WindowActions, KeypadKeysChangeTheVolumeAndConvert)
{
    w->settings.Volume = 5000;
    QTest::keyClick(w->form.get(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(w->settings.Volume, 6000);
    QTest::keyClick(w->form.get(), Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(w->form.get(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(w->settings.Volume, 4000);
    // The main keyboard's "+" is no volume key.
    QTest::keyClick(w->form.get(), Qt::Key_Plus);
    EXPECT_EQ(w->settings.Volume, 4000);

    const int *type1 = Count("ccConvertirDV1");
    const int *type2 = Count("ccConvertirDV2");
    QTest::keyClick(w->form.get(), Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(*type1, 1);
    EXPECT_EQ(*type2, 0);
    QTest::keyClick(w->form.get(), Qt::Key_2, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(*type1, 1);
    EXPECT_EQ(*type2, 1);
}

TEST_F(WindowActions, TheVolumeActionsAreInTheVideoMenu)
{
    auto *menu = w->form->findChild<QMenu *>(QStringLiteral("mnuVideo"));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction *entry : menu->actions())
        names << entry->objectName();
    EXPECT_TRUE(names.contains("saIncVolume")) << names.join(", ").toStdString();
    EXPECT_TRUE(names.contains("saDecVolume"));
    // Shown with their keys, and run from there.
    w->settings.Volume = 5000;
    w->form->al().Find("saIncVolume")->trigger();
    EXPECT_EQ(w->settings.Volume, 6000);
}

// Takes the web addresses the program opens.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    UrlCatcher()
    {
        for (const char *scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlCatcher() override
    {
        for (const char *scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

TEST_F(WindowActions, OneHomePageForTheCommandTheAboutPageAndPlaylists)
{
    // The home-page command.
    UrlCatcher catcher;
    ASSERT_TRUE(w->Action("ccVisitHomepage")->Execute());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !catcher.urls.isEmpty(); }));
    const QString opened = catcher.urls.first().toString();

    // The About page's link.
    const QRegularExpressionMatch link =
        QRegularExpression(QStringLiteral("<url ([^>]+)>the homepage</url>"))
            .match(TAproposFrame::AboutMarkup(QStringLiteral("1/1/2024")));
    ASSERT_TRUE(link.hasMatch());

    // A playlist's header.
    const QString list = m_dir.filePath(QStringLiteral("list.txt"));
    w->form->script1->ParseScript(QStringLiteral("savelist=") + list);
    w->form->script1->Run();
    const QByteArray bytes = readFileBytes(list);
    ASSERT_GT(bytes.size(), 2);
    const QString text = QString::fromUtf16(
        reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    const QRegularExpressionMatch header =
        QRegularExpression(QStringLiteral("# Visit my website : (\\S+)")).match(text);
    ASSERT_TRUE(header.hasMatch()) << text.toStdString();

    EXPECT_EQ(opened, HomePageAddress);
    EXPECT_EQ(link.captured(1), HomePageAddress);
    EXPECT_EQ(header.captured(1), HomePageAddress);
}

TEST_F(WindowActions, CtrlQQuitsAndLeavesTheFileAsItWas)
{
    const int *shortened = Count("ccPurgerNom");
    QTest::keyClick(w->form.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(*shortened, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->form->isVisible(); }));
    EXPECT_TRUE(QFileInfo::exists(m_clip));
}

} // namespace
} // namespace vidora::test

#include "uiform_actions_test.moc"
