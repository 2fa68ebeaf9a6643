// The settings panel and its file and folder fields, offscreen: each control
// writes its setting at once, bad values are refused with a message, and a
// change of store mode moves the settings and removes the other store.
#include "settings/widgets/optionsframe.h"

#include "platform/shell/shellroutines.h"
#include "settings/settings.h"
#include "settings/widgets/dialogedits.h"
#include "support/isolatedhome.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace vidora {
namespace {

using test::IsolatedHome;

// Answers the next folder chooser with `answer` (nothing: cancel) and keeps
// what it was asked.
struct FakeChooser
{
    explicit FakeChooser(std::optional<QString> chosen = std::nullopt) : answer(std::move(chosen))
    {}

    std::optional<QString> answer;
    QString askedFolder;
    int calls = 0;

    void install(TWideDirectoryEdit *edit)
    {
        edit->RunDialog = [this](const QString &, const QString &, QString &folder, bool) {
            ++calls;
            askedFolder = folder;
            if (!answer)
                return false;
            folder = *answer;
            return true;
        };
    }
};

TEST(DialogEdits, LayoutCancelAndTrailingSlash)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TWideDirectoryEdit folderEdit;
    folderEdit.show();
    folderEdit.resize(200, 21);
    EXPECT_EQ(folderEdit.edit()->geometry(), QRect(0, 1, 175, 19));
    EXPECT_EQ(folderEdit.button()->geometry(), QRect(175, 1, 21, 17));
    folderEdit.setButtonWidth(30);
    EXPECT_EQ(folderEdit.button()->geometry(), QRect(166, 1, 30, 17));

    QStringList events;
    folderEdit.OnAfterDialog = [&](TWideDialogEdit *, const QString &name) {
        events << "after " + name;
    };
    folderEdit.OnAbortDialog = [&](TWideDialogEdit *, const QString &name) {
        events << "abort " + name;
    };
    FakeChooser chooser;
    chooser.install(&folderEdit);

    // A folder that no longer exists is not preselected.
    folderEdit.setFolder(QStringLiteral("/no/such/folder/"));
    chooser.answer = dir.path();
    QTest::mouseClick(folderEdit.button(), Qt::LeftButton);
    EXPECT_EQ(chooser.askedFolder, QString());
    EXPECT_EQ(folderEdit.Folder(), dir.path() + QLatin1Char('/'));
    EXPECT_EQ(folderEdit.edit()->text(), folderEdit.Folder());

    // Cancelling keeps the name and the field.
    chooser.answer.reset();
    QTest::mouseClick(folderEdit.button(), Qt::LeftButton);
    EXPECT_EQ(chooser.askedFolder, dir.path() + QLatin1Char('/'));
    EXPECT_EQ(folderEdit.Folder(), dir.path() + QLatin1Char('/'));
    EXPECT_EQ(events, (QStringList{"after " + dir.path() + "/", "abort " + dir.path() + "/"}));

    TWideFileEdit fileEdit;
    fileEdit.show();
    fileEdit.setFileName(QStringLiteral("/usr/bin/old"));
    events.clear();
    fileEdit.OnAfterDialog = folderEdit.OnAfterDialog;
    fileEdit.OnAbortDialog = folderEdit.OnAbortDialog;
    fileEdit.RunDialog = [](TWideFileEdit &, QString &) { return false; };
    QTest::mouseClick(fileEdit.button(), Qt::LeftButton);
    fileEdit.RunDialog = [](TWideFileEdit &, QString &name) {
        name = QStringLiteral("/usr/bin/new");
        return true;
    };
    QTest::mouseClick(fileEdit.button(), Qt::LeftButton);
    EXPECT_EQ(events, (QStringList{"abort /usr/bin/old", "after /usr/bin/new"}));
    EXPECT_EQ(fileEdit.edit()->text(), QStringLiteral("/usr/bin/new"));
}

// The folder chooser is rooted at the volume of the field's folder (also of
// one that no longer exists), and at nothing for an empty field.
TEST(DialogEdits, TheFolderChooserIsRootedAtTheFoldersVolume)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString volume = QStorageInfo(dir.path()).rootPath();
    const QString root = volume.endsWith('/') ? volume : volume + '/';
    EXPECT_EQ(VolumeRootOf(dir.path()), root);
    EXPECT_EQ(VolumeRootOf(dir.filePath("gone/deeper")), root);
    EXPECT_EQ(VolumeRootOf(QString()), QString());
    EXPECT_EQ(VolumeRootOf("/"), "/");

    TWideDirectoryEdit edit;
    QStringList roots;
    edit.RunDialog = [&roots](const QString &, const QString &asked, QString &, bool) {
        roots << asked;
        return false;
    };
    for (const QString &folder : {dir.path() + '/', dir.filePath("gone/"), QString()}) {
        edit.setFolder(folder);
        QTest::mouseClick(edit.button(), Qt::LeftButton);
    }
    EXPECT_EQ(roots, (QStringList{root, root, QString()}));
}

// The field's selection is hidden when the focus leaves it, unless
// HideSelection is off.
TEST(DialogEdits, HideSelectionDecidesWhetherTheSelectionOutlivesTheFocus)
{
    for (bool hide : {true, false}) {
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        auto *field = new TWideFileEdit(&window);
        auto *other = new QLineEdit(&window);
        layout->addWidget(field);
        layout->addWidget(other);
        EXPECT_TRUE(field->HideSelection()) << "on by default";
        field->setHideSelection(hide);
        field->setFileName(QStringLiteral("/usr/bin/tool"));
        window.show();
        QApplication::setActiveWindow(&window);
        field->edit()->setFocus();
        field->edit()->selectAll();
        ASSERT_TRUE(field->edit()->hasSelectedText());
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(field->edit(), &out);
        other->setFocus();
        QTest::qWait(10);
        EXPECT_EQ(field->edit()->hasSelectedText(), !hide) << hide;
    }
}

class OptionsFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(home.root() + QStringLiteral("/prog/sub")));
        ASSERT_TRUE(QDir().mkpath(home.root() + QStringLiteral("/videos")));
        environment.programFolder = home.root() + QStringLiteral("/prog/");
        environment.programFilePath = environment.programFolder + QStringLiteral("vidora");
        environment.registryFolder = home.configHome() + QStringLiteral("/Vesk Tobrek");
        environment.screenSize = QSize(1920, 1080);
        settings = std::make_unique<Settings>(environment);
        settings->LoadPreferences(); // nothing stored: mode none, defaults
        frame = std::make_unique<TOptionsFrame>(*settings);
        // 2026-03-07 14:05:09
        frame->Now = [] { return EncodeDateTime(DateTimeParts{{2026, 3, 7}, {14, 5, 9, 0}}); };
        frame->resize(600, 500);
        frame->ShowSettings();
        frame->show();
    }

    // Brings the control's page to the front, as a person would.
    void showPageOf(QWidget *control) const
    {
        for (int i = 0; i < frame->PageControl->count(); ++i) {
            if (frame->PageControl->widget(i)->isAncestorOf(control))
                frame->PageControl->setCurrentIndex(i);
        }
    }
    void click(QAbstractButton *button) const
    {
        showPageOf(button);
        // Check boxes and radio buttons take clicks on their indicator and text.
        const bool indicator =
            qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button);
        QTest::mouseClick(button, Qt::LeftButton, {},
                          indicator ? QPoint(8, button->height() / 2) : QPoint());
    }
    void retype(QLineEdit *edit, const QString &text) const
    {
        showPageOf(edit);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    bool iniExists() const { return QFileInfo(environment.iniFilePath()).isFile(); }
    bool registryExists() const { return QFileInfo(environment.registryFilePath()).isFile(); }
    bool sendToExists() const { return QFileInfo(SendToShortcutPath(kProgramName)).isFile(); }

    IsolatedHome home;
    SettingsEnvironment environment;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TOptionsFrame> frame;
};

TEST_F(OptionsFrameTest, EachControlWritesItsSettingAtOnce)
{
    TOptionsFrame &f = *frame;
    Settings &s = *settings;
    const QString videos = home.root() + QStringLiteral("/videos");
    struct Case
    {
        const char *what;
        std::function<void()> change;
        std::function<bool()> written;
    } cases[] = {
        {"select", [&] { click(f.cbSelection); }, [&] { return s.SelectWhenOpening; }},
        {"deinterlace", [&] { click(f.cbDeinterlace); }, [&] { return !s.Deinterlace; }},
        {"show format", [&] { f.cbAfficherDatecode->setCurrentIndex(2); },
         [&] {
             return s.FormatShowDatecode == "yyyy mm dd hh nn ss" &&
                    f.lbAfficherSample->text() == "2026 03 07 14 05 09";
         }},
        {"add format typed",
         [&] { retype(f.cbAjouterDatecode->lineEdit(), QStringLiteral("yyyy")); },
         [&] {
             return s.FormatAddDatecode == "yyyy" && f.lbAjouterSample->text() == "video_2026.avi";
         }},
        {"datecode before", [&] { click(f.cbDatecodeavant); },
         [&] { return s.DatecodeBefore && f.lbAjouterSample->text() == "2026_video.avi"; }},
        {"timecode before", [&] { click(f.cbTimecodeavant); },
         [&] { return s.TimecodeBefore && f.lbTimecodeSample->text() == "0.54.32.10_video.avi"; }},
        {"rename format", [&] { f.cbRenommer->setCurrentIndex(0); },
         [&] { return s.FormatRename == "yyyymmdd hh.nn.ss"; }},
        {"rename template", [&] { retype(f.edRenommer, QStringLiteral("%F:%D")); },
         [&] {
             return s.RenameTemplate == "%F:%D" &&
                    f.lbRenommerSample->text() == "video.20260307 14.05.09";
         }},
        {"same folder", [&] { click(f.cbsameFolder); },
         [&] { return !s.SaveInSameFolder && f.edDossierSave->isEnabled(); }},
        {"folder",
         [&] {
             FakeChooser chooser(videos);
             chooser.install(f.edDossierPlayList);
             click(f.edDossierPlayList->button());
         },
         [&] { return s.PlaylistFolder == videos + "/"; }},
        {"file",
         [&] {
             f.feFichierF3->RunDialog = [](TWideFileEdit &, QString &name) {
                 name = QStringLiteral("/usr/bin/true");
                 return true;
             };
             click(f.feFichierF3->button());
         },
         [&] { return s.FileF3 == "/usr/bin/true"; }},
        {"load quillmark", [&] { click(f.cbChargerQuillmark); }, [&] { return !s.LoadQuillmark; }},
        {"frequency", [&] { click(f.rgfrequenceDV->button(0)); },
         [&] { return s.DvAudioRate == 0; }},
        {"standard", [&] { click(f.rgStandardDV->button(1)); }, [&] { return s.DvStandard == 1; }},
        {"ratio", [&] { click(f.rgRatioDV->button(1)); }, [&] { return s.DvRatio == 1; }},
        {"durations", [&] { click(f.rgFormatDuree->button(2)); },
         [&] { return s.DurationFormat == 2; }},
        {"interval", [&] { retype(f.edIntervalle, QStringLiteral("45")); },
         [&] { return s.Interval == 45; }},
        {"interval with a dot", [&] { retype(f.edIntervalle, QStringLiteral("12.0")); },
         [&] { return s.Interval == 12; }},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(row.written());
        row.change();
        EXPECT_TRUE(row.written());
        EXPECT_EQ(f.Message(), QString());
    }
}

TEST_F(OptionsFrameTest, BadValuesGetAMessageAndChangeNothing)
{
    const SettingValues before = *settings;
    retype(frame->edIntervalle, QStringLiteral("abc"));
    EXPECT_EQ(settings->Interval, 30);
    EXPECT_TRUE(frame->Message().contains(QStringLiteral("whole number of seconds")));
    retype(frame->edIntervalle, QStringLiteral("0"));
    EXPECT_EQ(settings->Interval, 30);

    FakeChooser chooser(home.root() + QStringLiteral("/gone"));
    chooser.install(frame->edDossierOuvrir);
    click(frame->edDossierOuvrir->button());
    EXPECT_TRUE(frame->Message().contains(home.root() + QStringLiteral("/gone/")));
    EXPECT_EQ(frame->edDossierOuvrir->Folder(), before.FolderToOpenFiles);
    EXPECT_TRUE(*settings == before);

    retype(frame->edIntervalle, QStringLiteral("20"));
    EXPECT_EQ(frame->Message(), QString());

    // The save and delete buttons are the main window's; a failed save is told.
    click(frame->rgPrefs->button(kPreferencesRegistry));
    QStringList calls;
    frame->OnSavePreferences = [&] {
        calls << QStringLiteral("save");
        throw PreferencesSaveError("cannot write /x: disk full");
    };
    frame->OnDeletePreferences = [&] { calls << QStringLiteral("delete"); };
    click(frame->SpeedButton1);
    EXPECT_EQ(frame->Message(), QStringLiteral("cannot write /x: disk full"));
    click(frame->SpeedButton2);
    EXPECT_EQ(calls, (QStringList{"save", "delete"}));
}

TEST_F(OptionsFrameTest, StoreModeChangesMoveTheSettings)
{
    TOptionsFrame &f = *frame;
    Settings &s = *settings;
    EXPECT_FALSE(f.SpeedButton1->isEnabled());

    // Normal mode: the settings go to the user's store at once.
    click(f.rgPrefs->button(kPreferencesRegistry));
    EXPECT_EQ(s.PreferencesMode, kPreferencesRegistry);
    EXPECT_TRUE(registryExists());
    EXPECT_FALSE(iniExists());
    EXPECT_TRUE(f.cbListe->isChecked() && f.cbListe->isEnabled() && s.SaveListWhenQuit);
    EXPECT_TRUE(f.cbSendTo->isChecked() && f.cbSendTo->isEnabled() && s.SendTo);
    EXPECT_TRUE(sendToExists());
    EXPECT_TRUE(f.SpeedButton1->isEnabled() && f.SpeedButton2->isEnabled());

    // Portable: the file beside the program, the user's store removed; the
    // folders outside the program's folder move into it.
    s.SaveFolder = home.root() + QStringLiteral("/videos/");
    s.PlaylistFolder = environment.programFolder + QStringLiteral("sub/");
    click(f.rgPrefs->button(kPreferencesPortable));
    EXPECT_TRUE(iniExists());
    EXPECT_FALSE(registryExists());
    EXPECT_EQ(s.SaveFolder, environment.programFolder);
    EXPECT_EQ(f.edDossierSave->Folder(), environment.programFolder);
    EXPECT_EQ(s.FolderToOpenFiles, environment.programFolder);
    EXPECT_EQ(s.PlaylistFolder, environment.programFolder + QStringLiteral("sub/"));
    EXPECT_TRUE(f.cbListe->isChecked());
    EXPECT_FALSE(f.cbSendTo->isChecked() || f.cbSendTo->isEnabled() || s.SendTo || sendToExists());
    {
        Settings reread(environment);
        reread.LoadPreferences();
        EXPECT_EQ(reread.PreferencesMode, kPreferencesPortable);
        EXPECT_EQ(reread.SaveFolder, environment.programFolder);
    }

    // None: no settings file is left anywhere.
    click(f.rgPrefs->button(kPreferencesNone));
    EXPECT_FALSE(iniExists());
    EXPECT_FALSE(registryExists());
    EXPECT_FALSE(QFileInfo::exists(environment.registryFolder));
    EXPECT_FALSE(f.cbListe->isChecked() || f.cbListe->isEnabled() || s.SaveListWhenQuit);
    EXPECT_FALSE(f.SpeedButton1->isEnabled() || f.SpeedButton2->isEnabled());
    EXPECT_EQ(f.Message(), QString());
}

TEST_F(OptionsFrameTest, AStoreThatCannotBeWrittenKeepsTheOldOne)
{
    click(frame->rgPrefs->button(kPreferencesRegistry));
    ASSERT_TRUE(registryExists());
    // A folder where the portable file would go: it cannot be written.
    ASSERT_TRUE(QDir().mkpath(environment.iniFilePath()));
    const QString saveFolder = settings->SaveFolder;
    click(frame->rgPrefs->button(kPreferencesPortable));
    EXPECT_FALSE(frame->Message().isEmpty());
    EXPECT_EQ(settings->PreferencesMode, kPreferencesRegistry);
    EXPECT_TRUE(frame->rgPrefs->button(kPreferencesRegistry)->isChecked());
    EXPECT_TRUE(registryExists());
    EXPECT_EQ(settings->SaveFolder, saveFolder);
    EXPECT_TRUE(settings->SendTo && sendToExists() && frame->cbSendTo->isChecked());
}

TEST_F(OptionsFrameTest, FormatDefaultsAndTheirSamples)
{
    frame->cbAfficherDatecode->setEditText(QStringLiteral("yyyy"));
    click(frame->cbDatecodeavant);
    click(frame->formatdefautBtn);
    EXPECT_EQ(settings->FormatAddDatecode, QStringLiteral("yyyy.mm.dd_hh.nn.ss_am/pm"));
    EXPECT_EQ(settings->FormatShowDatecode, QStringLiteral("ddddd tt"));
    EXPECT_EQ(settings->FormatRename, QStringLiteral("yyyymmdd hh.nn.ss"));
    EXPECT_EQ(settings->RenameTemplate, QStringLiteral("video'%D%E"));
    EXPECT_FALSE(settings->DatecodeBefore || settings->TimecodeBefore);
    EXPECT_EQ(frame->lbRenommerSample->text(), QStringLiteral("video'20260307 14.05.09.avi"));
    EXPECT_EQ(frame->lbAjouterSample->text(), QStringLiteral("video_2026.03.07_02.05.09_pm.avi"));
}

} // namespace
} // namespace vidora

namespace vidora {
namespace {

TEST(OptionsFramePanel, ShowCoversTheParentAndCloseHides)
{
    IsolatedHome home;
    Settings settings{SettingsEnvironment{}};
    QWidget window;
    window.resize(700, 520);
    auto *frame = new TOptionsFrame(settings, &window);
    frame->ShowSettings();
    window.show();
    EXPECT_FALSE(frame->isVisible());
    frame->ShowPanel();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->geometry(), window.rect());
    EXPECT_EQ(frame->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_EQ(frame->PageControl->count(), 5);
    QTest::mouseClick(frame->CloseBtn, Qt::LeftButton);
    EXPECT_FALSE(frame->isVisible());
}

} // namespace
} // namespace vidora
