// The main window's list actions offscreen, as a person or a script uses
// them: opening, selecting, sorting, removing and emptying; saving and
// reopening playlists (a missing file skipped); the dialogs of the
// preparations; the total duration and the detailed list; select when
// opening; the list kept from one start to the next; and files dropped on
// the window.
#include "ui/uiform.h"

#include "dvclipfile.h"
#include "files/listtexts.h"
#include "files/widgets/fichierlistbox.h"
#include "settings/textcodec.h"
#include "settings/widgets/optionsframe.h"
#include "support/isolatedhome.h"
#include "ui/ubaseframe.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

using namespace vidora;

namespace {

// Runs `act` on the next modal window of type T as soon as it shows.
template <class T>
void WhenModal(std::function<void(T *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
        if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(window);
        } else if (++*tries > 6000) { // two minutes, for a loaded machine
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

void ChooseInDialog(const QString &path)
{
    WhenModal<QFileDialog>([path](QFileDialog *dialog) {
        dialog->selectFile(path);
        // The name typed in full: the dialog's listing of the folder, which
        // comes from another thread, may change the selection meanwhile.
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
}

void CancelDialog()
{
    WhenModal<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
}

QString Canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString ReadText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return DecodeText(file.readAll());
}

// A temporary home with stored settings (so closing asks nothing), a
// playlist folder of its own, and copies of a short DV clip.
struct Stage
{
    test::IsolatedHome home;
    QTemporaryDir tmp;
    QString playlists = tmp.filePath("playlists");
    QString clip;

    Stage()
    {
        QDir().mkpath(playlists);
        clip = test::WriteDvClip(tmp.path());
    }
    // The settings store outlives the home in this process: the next test
    // starts with nothing stored.
    ~Stage()
    {
        QSettings store(kMakerName, kProgramName);
        store.clear();
        store.sync();
        QFile::remove(store.fileName());
    }
    void Store(bool saveListWhenQuit)
    {
        Settings stored(SettingsEnvironment::forRunningProgram());
        stored.PreferencesMode = kPreferencesRegistry;
        stored.PlaylistFolder = playlists;
        stored.SaveListWhenQuit = saveListWhenQuit;
        stored.SavePreferences();
    }
    // A copy of the clip; its file date `minutesAgo` minutes back.
    QString Copy(const QString &relative, int minutesAgo = 0)
    {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile::copy(clip, path);
        QFile file(path);
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo),
                             QFileDevice::FileModificationTime);
        return path;
    }
};

struct Window
{
    explicit Window(Stage &stage, bool saveListWhenQuit = false)
    {
        stage.Store(saveListWhenQuit);
        settings = std::make_unique<Settings>(SettingsEnvironment::forRunningProgram());
        form = std::make_unique<TUIForm>(*settings, viewdm);
        form->Switch1->Arguments.clear();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    ~Window()
    {
        if (form)
            Close();
    }
    void Close()
    {
        form->close();
        form.reset();
    }
    TFichierListModel &Model() const { return *form->Lframe->lf->ListModel(); }
    // Runs the lines as a script; each waits for the work before it.
    void Script(const QStringList &lines)
    {
        form->script1->ParseScript(lines.join(u'\n'));
        form->script1->Run();
    }
    QStringList Names() const
    {
        QStringList names;
        for (int row = 0; row < Model().Count(); ++row)
            names << Model().GetFichier(row)->Name();
        return names;
    }
    bool Execute(const char *action) const
    {
        return form->al().Find(QString::fromUtf8(action))->Execute();
    }

    Tviewdm viewdm;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TUIForm> form;
};

} // namespace

TEST(UIFormLists, OpenSelectSortRemoveAndEmpty)
{
    Stage stage;
    ASSERT_FALSE(stage.clip.isEmpty());
    const QString a = stage.Copy("a.avi", 20);
    const QString b = stage.Copy("b.avi", 10);
    const QString c = stage.Copy("c.avi", 30);
    Window w(stage);
    w.Script({"selectwhenopen=true", "openfiles=" + a, "openfiles=" + b, "openfiles=" + c,
              "sortbyfiledate"});
    ASSERT_EQ(w.Model().Count(), 3);
    EXPECT_FALSE(ScriptWaiting);
    EXPECT_EQ(w.Names(), (QStringList{"c.avi", "a.avi", "b.avi"}));
    EXPECT_EQ(w.Model().SelectedCount(), 3);
    EXPECT_EQ(w.form->Lframe->labSelect->text(), "3 files on 3 - sorted by file date");
    ASSERT_TRUE(w.form->ActiveFichier);
    EXPECT_EQ(w.form->BaseFrame->CurrentFile(), w.form->ActiveFichier);
    EXPECT_EQ(w.form->VueFrame->CurrentFile(), w.form->ActiveFichier);

    w.Script({"sortalpha"});
    EXPECT_EQ(w.Names(), (QStringList{"a.avi", "b.avi", "c.avi"}));
    EXPECT_EQ(w.Model().SelectedCount(), 3);

    // Remove the one selected file, then select everything left.
    w.Model().selectionModel()->clearSelection();
    w.Model().selectionModel()->select(w.Model().index(1), QItemSelectionModel::Select);
    EXPECT_TRUE(w.Execute("saOterFichier"));
    EXPECT_EQ(w.Names(), (QStringList{"a.avi", "c.avi"}));
    w.Model().selectionModel()->clearSelection();
    EXPECT_TRUE(w.Execute("saSelectionnerTout"));
    EXPECT_EQ(w.form->Lframe->labSelect->text(), "2 files on 2 - sorted alphabetically");

    // An empty list shows nothing and the help panel.
    EXPECT_TRUE(w.Execute("saViderListe"));
    EXPECT_EQ(w.Model().Count(), 0);
    EXPECT_FALSE(w.form->ActiveFichier);
    EXPECT_FALSE(w.form->BaseFrame->CurrentFile());
    EXPECT_FALSE(w.form->VueFrame->CurrentFile());
    EXPECT_TRUE(w.form->VideFrame->isVisible());
    EXPECT_EQ(w.form->Lframe->labSelect->text(), "0 file on 0 - sorted alphabetically");
}

TEST(UIFormLists, ASavedPlayListOpensAgainWithoutItsMissingFile)
{
    Stage stage;
    ASSERT_FALSE(stage.clip.isEmpty());
    const QString a = stage.Copy("a.avi");
    const QString b = stage.Copy("b.avi");
    const QString c = stage.Copy("sub/c.avi");
    const QString list = stage.tmp.filePath("mine.txt");
    Window w(stage);
    w.Script({"openfiles=" + a, "openfiles=" + b, "openfiles=" + c, "savelist=" + list});
    ASSERT_EQ(w.Model().Count(), 3);
    const QString text = ReadText(list);
    for (const QString &path : {a, b, c})
        EXPECT_TRUE(text.contains("\r\n     " + Canonical(path) + "\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("# 3 file  sorted  in alphabetical order\r\n"));

    ASSERT_TRUE(QFile::remove(b));
    w.Script({"emptylist", "playlist=" + list});
    EXPECT_EQ(w.Names(), (QStringList{"a.avi", "c.avi"}));
    EXPECT_EQ(w.form->StatusPanel->text(), "Ready");
}

TEST(UIFormLists, PreparationsAskAndACancelledDialogRunsNothing)
{
    Stage stage;
    ASSERT_FALSE(stage.clip.isEmpty());
    const QString inFolder = stage.Copy("folder/deeper/a.avi");
    Window w(stage);
    const QString before = w.settings->FolderToOpenFiles;

    CancelDialog();
    EXPECT_FALSE(w.Execute("saOuvrirunDossier"));
    EXPECT_EQ(w.settings->FolderToOpenFiles, before);
    EXPECT_FALSE(ScriptWaiting);

    const QString folder = stage.tmp.filePath("folder");
    ChooseInDialog(folder);
    EXPECT_TRUE(w.Execute("saOuvrirunDossier"));
    EXPECT_EQ(w.settings->FolderToOpenFiles, folder + "/");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ScriptWaiting && w.Model().Count() == 1; }));
    EXPECT_EQ(w.Model().GetFichier(0)->Path(), Canonical(inFolder));

    // The save dialog adds ".txt"; cancelling it writes nothing.
    CancelDialog();
    EXPECT_FALSE(w.Execute("saSauverListe"));
    EXPECT_TRUE(QDir(stage.playlists).isEmpty());
    ChooseInDialog(QDir(stage.playlists).filePath("chosen"));
    EXPECT_TRUE(w.Execute("saSauverListe"));
    EXPECT_TRUE(ReadText(QDir(stage.playlists).filePath("chosen.txt"))
                    .contains("     " + Canonical(inFolder) + "\r\n"));
}

TEST(UIFormLists, TotalDurationAndDetailedList)
{
    Stage stage;
    ASSERT_FALSE(stage.clip.isEmpty());
    const QString a = stage.Copy("a.avi");
    const QString b = stage.Copy("b.avi");
    Window w(stage);
    w.Script({"openfiles=" + a, "openfiles=" + b});
    ASSERT_EQ(w.Model().Count(), 2);
    const auto entry = std::dynamic_pointer_cast<TaviFichier>(w.Model().GetFichier(0));
    ASSERT_TRUE(entry);
    const std::int64_t one = entry->Data().videoDuration;
    ASSERT_GT(one, 0);

    w.Model().selectionModel()->clearSelection();
    w.Model().selectionModel()->select(w.Model().index(1), QItemSelectionModel::Select);
    QString shown;
    WhenModal<QMessageBox>([&shown](QMessageBox *box) {
        shown = box->text();
        box->accept();
    });
    EXPECT_TRUE(w.Execute("saDureeTotale"));
    EXPECT_EQ(shown, TotalDurationMessage(one, 2 * one));

    // "Save the detailed list" is an entry of the window's pop-up.
    QAction *detailedList =
        w.form->mainPopup->findChild<QAction *>(QStringLiteral("Save the detailed list"));
    ASSERT_TRUE(detailedList);
    EXPECT_TRUE(detailedList->isEnabled());
    EXPECT_EQ(detailedList->shortcut(), QKeySequence("Ctrl+J"));
    const QString detailed = QDir(stage.playlists).filePath("details.txt");
    ChooseInDialog(detailed);
    detailedList->trigger();
    QFile file(detailed);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xFE", 2));
    const QStringList lines = DecodeText(bytes).split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(Canonical(a) + ",")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(Canonical(b) + ","));
    EXPECT_TRUE(lines[0].contains(",dvsd (type 1),"));
    EXPECT_EQ(lines[2], QString());
}

TEST(UIFormLists, SelectWhenOpeningFollowsTheActionAndThePanel)
{
    Stage stage;
    Window w(stage);
    TCustomSuperAction *select = w.form->al().Find("taSelectionnerOuverts");
    ASSERT_FALSE(w.settings->SelectWhenOpening);
    for (const bool on : {true, false}) {
        EXPECT_TRUE(select->Execute());
        EXPECT_EQ(w.settings->SelectWhenOpening, on);
        EXPECT_EQ(select->Checked(), on);
        EXPECT_EQ(w.form->OptionsFrame->cbSelection->isChecked(), on);
        EXPECT_EQ(w.Model().SelectionnerOuverts, on);
    }
    w.form->OptionsFrame->cbSelection->setChecked(true);
    EXPECT_TRUE(w.Model().SelectionnerOuverts);
    // The action takes its state from the setting before it runs.
    EXPECT_TRUE(select->Execute());
    EXPECT_FALSE(w.settings->SelectWhenOpening);
    EXPECT_FALSE(w.Model().SelectionnerOuverts);
}

TEST(UIFormLists, SaveListWhenQuitKeepsTheListForTheNextStart)
{
    Stage stage;
    ASSERT_FALSE(stage.clip.isEmpty());
    const QString a = stage.Copy("a.avi");
    const QString b = stage.Copy("b.avi");
    const QString kept = QDir(stage.playlists).filePath(kDefaultPlayListName);
    {
        Window w(stage, true);
        w.Script({"openfiles=" + a, "openfiles=" + b});
        ASSERT_EQ(w.Model().Count(), 2);
        w.Close();
    }
    const QString text = ReadText(kept);
    EXPECT_TRUE(text.contains("     " + Canonical(a) + "\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("     " + Canonical(b) + "\r\n"));
    {
        Window w(stage, true);
        w.form->Switch1->Activate();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ScriptWaiting && w.Model().Count() == 2; }));
        EXPECT_EQ(w.Names(), (QStringList{"a.avi", "b.avi"}));
        w.Script({"emptylist"});
        w.Close();
    }
    // An empty list keeps its header and footer lines only.
    const QStringList lines = ReadText(kept).split("\r\n");
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[2], "# Playlist of Vidora 7.0.5 En");
    EXPECT_EQ(lines[6], QString());
    EXPECT_EQ(lines[7], QString());
    EXPECT_EQ(lines[9], "# 0 file sorted in alphabetical order");
    EXPECT_TRUE(lines[10].startsWith("# Done on "));
    EXPECT_TRUE(lines[11].isEmpty());

    // Without the setting the next start leaves the list empty.
    Window w(stage, false);
    w.form->Switch1->Activate();
    QTest::qWait(200);
    EXPECT_EQ(w.Model().Count(), 0);
    EXPECT_TRUE(w.form->VideFrame->isVisible());
}

TEST(UIFormLists, FilesDroppedOnTheWindowGoToTheList)
{
    Stage stage;
    ASSERT_FALSE(stage.clip.isEmpty());
    const QString deep = stage.Copy("dropped/sub/a.avi");
    Window w(stage);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(stage.tmp.filePath("dropped"))});
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &drop);
    // A dropped folder is opened with its subfolders.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Model().Count() == 1 && !w.Model().Opening(); }));
    EXPECT_EQ(w.Model().GetFichier(0)->Path(), Canonical(deep));
}
