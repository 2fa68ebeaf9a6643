#pragma once

// The file list as a Qt model: its rows are the entries, kept in the order of
// their keys for the current sort order, with the selection, the current
// row and the active entry (the one the main window shows) that the list's
// logic works with. The view (TFichierListBox) shows it and forwards keys,
// mouse releases, drags and drops; every operation here runs on the GUI thread.
//
// The active entry changes only through UpdateActive (a key or mouse release,
// or an explicit call): moving the current row alone does not change it.
#include "files/listfichier.h"
#include "files/threadopen.h"

#include <QAbstractListModel>
#include <QHash>
#include <QItemSelectionModel>

#include <functional>
#include <memory>
#include <vector>

namespace vidora {

class TFichierListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        PathRole = Qt::UserRole + 1, // the entry's full path
    };

    explicit TFichierListModel(QObject *parent = nullptr);
    ~TFichierListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    // "text/uri-list" of the entries' paths, in list order.
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

    // The selection and current row the list's logic and its view share.
    QItemSelectionModel *selectionModel() { return &m_selection; }

    // Adds the entry in key order and returns its row; -1 when BeforeLister
    // refused it. An entry for a file already listed takes the old entry's
    // place (moving when its key changed, keeping its selection).
    int AddFichier(const std::shared_ptr<TAbstractListFichier> &entry, bool select);
    std::shared_ptr<TAbstractListFichier> GetFichier(int row) const;
    // The row of the entry (the same object), or -1.
    int IndexOf(const TAbstractListFichier *entry) const;
    int Count() const { return int(m_rows.size()); }
    // Removes the entry's row; when it was the current row, no entry is
    // active any more.
    void RemoveEntry(const std::shared_ptr<TAbstractListFichier> &entry);
    // The old entry's row carries the new entry; returns its row (the row
    // moves only when the new key needs it), or -1 when the old one is not listed.
    int SwapEntry(const std::shared_ptr<TAbstractListFichier> &oldEntry,
                  const std::shared_ptr<TAbstractListFichier> &newEntry);
    // RemoveEntry(old), AddFichier(new); the new row is selected, and
    // becomes current when no entry is active.
    void ReplaceEntry(const std::shared_ptr<TAbstractListFichier> &oldEntry,
                      const std::shared_ptr<TAbstractListFichier> &newEntry);
    void SelectEntry(const std::shared_ptr<TAbstractListFichier> &entry);
    // -1 clears the current row; 0..Count()-1 makes that row current and
    // selects it; other values are ignored.
    void SetActiveIndex(int row);
    void ClearFichiers();
    void RemoveSelected();

    const TSortIndex &SortIndex() const { return m_sortIndex; }
    // Sets the order; Resort applies it.
    void SetSortIndex(const TSortIndex &order) { m_sortIndex = order; }
    // Orders the rows by the current order, keeping the selection and making
    // the active entry's row current.
    void Resort();

    void UpdateCounts();
    void UpdateActive();
    // Tells the active entry's viewers again (activeChanged), its
    // information having changed.
    void RefreshActive() { emit activeChanged(m_active); }
    int CurrentRow() const;
    int SelectedCount() const;
    std::vector<std::shared_ptr<TAbstractListFichier>> SelectedEntries() const;
    std::shared_ptr<TAbstractListFichier> ActiveEntry() const { return m_active; }
    // "n fichier(s) sélectionné(s) sur m" and a line break.
    const QString &Hint() const { return m_hint; }

    // Whether an entry is listed; unset lists every entry.
    std::function<bool(const std::shared_ptr<TAbstractListFichier> &)> BeforeLister;
    // Select each opened entry when it is added.
    bool SelectionnerOuverts = false;
    QString PreferredFolder;
    QString PreferredPlayList;

    // Opening in the background.
    void SetFichierClass(TFichierFactory factory) { m_opener.SetFactory(std::move(factory)); }
    // Runs on the opening thread, for every file found.
    void SetOpenTestExtension(TTestExtension test) { m_opener.SetTestExtension(std::move(test)); }
    void OpenFichiers(const QStringList &paths);
    void OpenFolder(const QString &folder);
    void OpenPreferredFolder() { OpenFolder(PreferredFolder); }
    void OpenAll();
    void OpenPlayList(const QString &path);
    void OpenPreferredPlayList() { OpenPlayList(PreferredPlayList); }
    // The clipboard's local files ("text/uri-list").
    void PasteFichiers();
    void DropFichiers(const QStringList &paths);
    void AbortOpen() { m_opener.Abort(); }
    bool Opening() const { return m_opener.Opening(); }
    TThreadOpen &Opener() { return m_opener; }

signals:
    void countsChanged(int selectedCount, int count);
    void activeChanged(const std::shared_ptr<vidora::TAbstractListFichier> &active);
    void hintChanged(const QString &hint);
    void openStart();
    void openFolderFound(const QString &folder);
    void openFileFound(const QString &folder, const std::shared_ptr<vidora::TSRFichier> &entry);
    void openEnd(int count);

private:
    struct Row
    {
        QString key;  // the entry's key when it was placed
        QString path; // the entry's path when it was placed
        std::shared_ptr<TAbstractListFichier> entry;
    };

    // Where the key belongs (the first row whose key is not less).
    int LowerBound(const QString &key) const;
    int RowOfPath(const QString &path) const;
    void RemoveRow(int row);
    // Removes the row and adds the entry again where its key belongs,
    // keeping the row's selection and current state.
    int Reposition(int row, const std::shared_ptr<TAbstractListFichier> &entry, const QString &key);
    int Insert(const std::shared_ptr<TAbstractListFichier> &entry, const QString &key);
    QModelIndex IndexAt(int row) const { return index(row, 0); }

    std::vector<Row> m_rows;
    // The key of each listed path, to find a file's row.
    QHash<QString, QString> m_keyOfPath;
    QItemSelectionModel m_selection;
    std::shared_ptr<TAbstractListFichier> m_active;
    TSortIndex m_sortIndex = SortAlpha();
    // While a group of found entries is listed, UpdateCounts only notes
    // that the counts are due.
    int m_countsHeld = 0;
    bool m_countsDue = false;
    int m_lastCount = -1;
    int m_lastSelected = -1;
    QString m_hint;
    TThreadOpen m_opener;
};

} // namespace vidora
