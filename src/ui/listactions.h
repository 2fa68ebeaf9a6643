#pragma once

// The main window's list actions: opening files, folders, every drive,
// playlists, scripts and the clipboard into the file list; emptying,
// removing, selecting and sorting; saving the list as a playlist or a
// detailed list; the total duration. The window builds one and keeps it.
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace vidora {

class TActionList;
class TFichierListModel;
class TOptionsFrame;
class TScript;
struct SettingValues;
struct TSortIndex;

// A folder's name with its closing "/"; an empty name stays empty.
QString FolderWithSlash(const QString &folder);
// "Dossier des PlayList" + "PlayList.txt": saved at shut-down, opened at
// start.
QString DefaultPlayListPath(const SettingValues &settings);

class ListActions
{
public:
    // What the actions use of the window; none is owned. `window` is the
    // dialogs' parent; `popup` holds "Save the detailed list".
    struct Parts
    {
        QWidget *window = nullptr;
        TFichierListModel *model = nullptr;
        TOptionsFrame *options = nullptr;
        QMenu *popup = nullptr;
        TScript *script = nullptr;
        // The status bar's text as an opening starts.
        std::function<void(const QString &text)> setStatusText;
    };

    // Binds the actions.
    ListActions(TActionList &actions, SettingValues &settings, Parts parts);
    ListActions(const ListActions &) = delete;
    ListActions &operator=(const ListActions &) = delete;

    // Writes the list, in list order, as a playlist; false with the reason
    // in `error` when the file cannot be written (an old file stays).
    // Paths a playlist line cannot hold are left out and added to `leftOut`.
    bool SavePlayList(const QString &fileName, QString &error, QStringList &leftOut) const;
    // Writes the detailed list, one line per entry in list order.
    bool SaveDetailedList(const QString &fileName, QString &error) const;

private:
    // Opening files, folders, every drive, the clipboard, playlists and
    // scripts.
    void BindOpenActions();
    // The list as a playlist and as a detailed list.
    void BindSaveActions();
    // Emptying, removing, selecting and sorting; the total duration.
    void BindListEditing();
    void BindListSettings();
    // The action's command, run with the action's value (ActionParams).
    void Command(const char *name, std::function<void()> run);
    // The action's preparation: a dialog, whose accepted name (Accept)
    // becomes the action's value and lets the command run.
    void Prepare(const char *name, std::function<void()> ask);
    static void Accept(const QStringList &chosen);
    // The opening's work is under way from here on, for a waiting run.
    void Opening(const QString &status);
    // SaveDialog1 in "Dossier des PlayList"; empty when cancelled.
    QString AskListFileName();
    void SaveDetailedListCommand();
    void ShowListWriteError(const QString &error);
    void SortFileList(const TSortIndex &order);

    TActionList &m_al;
    SettingValues &m_settings;
    Parts m_parts;
};

} // namespace vidora
