#include "ui/listactions.h"

#include "files/listtexts.h"
#include "files/widgets/fichierlistbox.h"
#include "formats/datetime.h"
#include "formats/dsfunctions.h"
#include "settings/scripts.h"
#include "settings/settings.h"
#include "settings/widgets/dialogedits.h"
#include "settings/widgets/optionsframe.h"
#include "ui/actioncatalogue.h"
#include "ui/uiform.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStorageInfo>

namespace vidora {

namespace {

const QString kPlayListFilter = QStringLiteral("playlist (*.txt)");

// The root of the mounted volume holding the path ("/" when none is known).
QString VolumeRoot(const QString &path)
{
    const QStorageInfo volume(path.isEmpty() ? QStringLiteral("/") : path);
    return volume.isValid() ? volume.rootPath() : QStringLiteral("/");
}

// Runs the dialog; its chosen files, or none when it was cancelled.
QStringList RunFileDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

} // namespace

QString FolderWithSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString DefaultPlayListPath(const SettingValues &settings)
{
    return FolderWithSlash(settings.PlaylistFolder) + kDefaultPlayListName;
}

ListActions::ListActions(TActionList &actions, SettingValues &settings, Parts parts)
    : m_al(actions), m_settings(settings), m_parts(std::move(parts))
{
    BindOpenActions();
    BindSaveActions();
    BindListEditing();
    BindListSettings();
}

void ListActions::Command(const char *name, std::function<void()> run)
{
    m_al.Plain(QString::fromUtf8(name))->Onexecute = [run](QObject *) { run(); };
}

void ListActions::Prepare(const char *name, std::function<void()> ask)
{
    m_al.Find(QString::fromUtf8(name))->Onprepare = [ask](QObject *) {
        // Only an accepted dialog lets the command run.
        ExecuteAllowed = false;
        ask();
    };
}

void ListActions::Accept(const QStringList &chosen)
{
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return;
    ActionParams = chosen;
    ExecuteAllowed = true;
}

void ListActions::Opening(const QString &status)
{
    if (!status.isEmpty())
        m_parts.setStatusText(status);
    ScriptWaiting = true;
}

void ListActions::BindOpenActions()
{
    TFichierListModel *model = m_parts.model;
    Prepare("saOuvrirFichiers", [this] {
        QFileDialog dialog(m_parts.window, QString(), m_settings.FolderToOpenFiles);
        dialog.setObjectName(QStringLiteral("OpenDialog1"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilter(QStringLiteral("Files avi (*.avi)"));
        Accept(RunFileDialog(dialog));
    });
    Command("saOuvrirFichiers", [this, model] {
        QStringList paths = ActionParams;
        paths.removeAll(QString());
        if (paths.isEmpty())
            return;
        Opening(QStringLiteral("Opening avi files"));
        model->OpenFichiers(paths);
    });

    Prepare("saOuvrirunDossier", [this] {
        QFileDialog dialog(m_parts.window,
                           QStringLiteral("Select the folder containing the images to open"),
                           VolumeRoot(m_settings.FolderToOpenFiles));
        dialog.setObjectName(QStringLiteral("FolderBrowser"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (!m_settings.FolderToOpenFiles.isEmpty())
            dialog.selectFile(m_settings.FolderToOpenFiles);
        const QStringList chosen = RunFileDialog(dialog);
        if (chosen.isEmpty() || chosen.first().isEmpty())
            return;
        m_settings.FolderToOpenFiles = FolderWithSlash(chosen.first());
        Accept(chosen);
    });
    Command("saOuvrirunDossier", [this, model] {
        if (ActionParams.isEmpty() || ActionParams.first().isEmpty())
            return;
        Opening(QString());
        model->OpenFolder(ActionParams.first());
    });
    Command("saOuvrirDossierPrefere", [this, model] {
        Opening(QString());
        model->OpenPreferredFolder();
    });
    Command("saOuvrirTout", [this, model] {
        Opening(QString());
        model->OpenAll();
    });
    Command("saCollerFichiers", [this, model] {
        Opening(QString());
        model->PasteFichiers();
    });

    Prepare("saOuvrirPlayList", [this] {
        QFileDialog dialog(m_parts.window, QString(), m_settings.PlaylistFolder);
        dialog.setObjectName(QStringLiteral("OpenDialog2"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(kPlayListFilter);
        Accept(RunFileDialog(dialog));
    });
    Command("saOuvrirPlayList", [this, model] {
        if (ActionParams.isEmpty() || ActionParams.first().isEmpty())
            return;
        const QString playlist = ActionParams.first();
        Opening(QStringLiteral("Opening the playlist ") + QFileInfo(playlist).fileName());
        model->OpenPlayList(playlist);
    });
    Command("saOuvrirDefaultPlayList", [this, model] {
        Opening(QStringLiteral("Opening the default playlist"));
        model->OpenPreferredPlayList();
    });

    Prepare("saOuvrirScript", [this] {
        QFileDialog dialog(m_parts.window);
        dialog.setObjectName(QStringLiteral("odListe"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QStringLiteral("*.txt (*.txt)"));
        Accept(RunFileDialog(dialog));
    });
    Command("saOuvrirScript", [this] {
        if (!ActionParams.isEmpty() && !ActionParams.first().isEmpty())
            m_parts.script->ExecuteFile(ActionParams.first());
    });

    // From a script or the command line, these take a name: without one
    // they do nothing, and the run says so on standard error.
    for (const char *name : {"saOuvrirFichiers", "saOuvrirunDossier", "saOuvrirPlayList",
                             "saOuvrirScript", "saSauverListe"}) {
        m_al.Find(QString::fromUtf8(name))->ValueProblem = [](const QString &value) {
            return value.isEmpty() ? QStringLiteral("a file or folder name is needed") : QString();
        };
    }
}

void ListActions::BindSaveActions()
{
    Prepare("saSauverListe", [this] { Accept({AskListFileName()}); });
    Command("saSauverListe", [this] {
        if (ActionParams.isEmpty() || ActionParams.first().isEmpty())
            return;
        QString error;
        QStringList leftOut;
        if (!SavePlayList(ActionParams.first(), error, leftOut))
            ShowListWriteError(error);
        else if (!leftOut.isEmpty())
            QMessageBox::warning(m_parts.window, kProgramName, PlayListLeftOutMessage(leftOut));
    });

    // "Save the detailed list" is an entry of the pop-up only; its key works
    // while the pop-up is open, so the window's key stays the total duration's.
    QAction *detailed =
        m_parts.popup->findChild<QAction *>(QStringLiteral("Save the detailed list"));
    if (detailed) {
        detailed->setEnabled(true);
        detailed->setShortcut(QKeySequence(QStringLiteral("Ctrl+J")));
        detailed->setShortcutContext(Qt::WidgetShortcut);
        QObject::connect(detailed, &QAction::triggered, m_parts.window,
                         [this] { SaveDetailedListCommand(); });
    }
}

void ListActions::BindListEditing()
{
    TFichierListModel *model = m_parts.model;
    Command("saViderListe", [model] { model->ClearFichiers(); });
    Command("saOterFichier", [model] { model->RemoveSelected(); });
    Command("saSelectionnerTout", [model] {
        model->selectionModel()->select(
            QItemSelection(model->index(0), model->index(model->Count() - 1)),
            QItemSelectionModel::Select);
        model->UpdateCounts();
    });
    Command("saOrdreAlpha", [this] { SortFileList(SortAlpha()); });
    Command("saTriTaille", [this] { SortFileList(SortTaille()); });
    Command("saTrierModify", [this] { SortFileList(SortModify()); });
    Command("saTriDatecode", [this] { SortFileList(SortDatecode()); });
    Command("saTriTimecode", [this] { SortFileList(SortTimecode()); });
    Command("saTriDuree", [this] { SortFileList(SortDuree()); });

    Command("saDureeTotale", [this, model] {
        std::int64_t selected = 0;
        std::int64_t all = 0;
        for (int row = 0; row < model->Count(); ++row) {
            const auto entry = std::dynamic_pointer_cast<TaviFichier>(model->GetFichier(row));
            if (!entry)
                continue;
            all += entry->Data().videoDuration;
            if (model->selectionModel()->isSelected(model->index(row)))
                selected += entry->Data().videoDuration;
        }
        QMessageBox::information(m_parts.window, kProgramName, TotalDurationMessage(selected, all));
    });

    TtoggleAction *select = m_al.Toggle(QStringLiteral("taSelectionnerOuverts"));
    select->Onprepare = [this, select](QObject *) {
        select->SetChecked(m_settings.SelectWhenOpening);
    };
    auto setSelect = [this, model, select](bool on) {
        m_settings.SelectWhenOpening = on;
        m_parts.options->cbSelection->setChecked(on);
        model->SelectionnerOuverts = on;
        select->SetChecked(on);
    };
    select->OnfalseExecute = [setSelect](QObject *) { setSelect(true); };
    select->OnTrueExecute = [setSelect](QObject *) { setSelect(false); };
}

void ListActions::BindListSettings()
{
    TFichierListModel *model = m_parts.model;
    // After the panel's own handler, which stores the setting.
    QObject::connect(m_parts.options->cbSelection, &QCheckBox::toggled, m_parts.window,
                     [this, model] { model->SelectionnerOuverts = m_settings.SelectWhenOpening; });
    auto afterDialog = [](TWideDirectoryEdit *edit, std::function<void()> then) {
        auto before = edit->OnAfterDialog;
        edit->OnAfterDialog = [before, then](TWideDialogEdit *sender, const QString &name) {
            if (before)
                before(sender, name);
            then();
        };
    };
    auto preferred = [this, model] {
        model->PreferredFolder = FolderWithSlash(m_settings.AutoOpenFolder);
        model->PreferredPlayList = DefaultPlayListPath(m_settings);
    };
    afterDialog(m_parts.options->edDossierAuto, preferred);
    afterDialog(m_parts.options->edDossierPlayList, preferred);
}

QString ListActions::AskListFileName()
{
    QFileDialog dialog(m_parts.window, QString(), m_settings.PlaylistFolder);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(kPlayListFilter);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    const QStringList chosen = RunFileDialog(dialog);
    return chosen.isEmpty() ? QString() : chosen.first();
}

void ListActions::SaveDetailedListCommand()
{
    const QString fileName = AskListFileName();
    if (fileName.isEmpty())
        return;
    QString error;
    if (!SaveDetailedList(fileName, error))
        ShowListWriteError(error);
}

void ListActions::ShowListWriteError(const QString &error)
{
    QMessageBox::critical(m_parts.window, kProgramName, error);
}

bool ListActions::SavePlayList(const QString &fileName, QString &error, QStringList &leftOut) const
{
    TFichierListModel *model = m_parts.model;
    QStringList paths;
    for (int row = 0; row < model->Count(); ++row)
        paths << model->GetFichier(row)->Path();
    TPlayListInfo info;
    info.programText = AppVersionText();
    info.homePage = HomePageAddress;
    info.sortMenuText = model->SortIndex().MenuText;
    const DateTimeValue now = FromQDateTime(QDateTime::currentDateTime());
    try {
        info.doneOn = FormatDateTime(m_settings.FormatShowDatecode, now);
    } catch (const std::exception &) {
        info.doneOn = QDateTime::currentDateTime().toString(Qt::ISODate);
    }
    return WriteFileCommitted(fileName, Utf16LeWithBom(PlayListText(info, paths, &leftOut)), error);
}

bool ListActions::SaveDetailedList(const QString &fileName, QString &error) const
{
    TFichierListModel *model = m_parts.model;
    QString text;
    try {
        for (int row = 0; row < model->Count(); ++row) {
            if (const auto entry = std::dynamic_pointer_cast<TaviFichier>(model->GetFichier(row)))
                text += DetailedListLine(*entry, m_settings.FormatShowDatecode) +
                        QStringLiteral("\r\n");
        }
    } catch (const std::exception &failure) {
        error =
            QStringLiteral("Cannot write %1: %2").arg(fileName, QString::fromUtf8(failure.what()));
        return false;
    }
    return WriteFileCommitted(fileName, Utf16LeWithBom(text), error);
}

void ListActions::SortFileList(const TSortIndex &order)
{
    TFichierListModel *model = m_parts.model;
    model->SetSortIndex(order);
    model->Resort();
}

} // namespace vidora
