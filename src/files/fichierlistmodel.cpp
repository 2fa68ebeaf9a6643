#include "files/fichierlistmodel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace vidora {

TFichierListModel::TFichierListModel(QObject *parent)
    : QAbstractListModel(parent), m_selection(this)
{
    connect(&m_opener, &TThreadOpen::openStart, this, &TFichierListModel::openStart);
    connect(&m_opener, &TThreadOpen::openFolderFound, this, &TFichierListModel::openFolderFound);
    connect(&m_opener, &TThreadOpen::openFileFound, this,
            [this](const QString &folder, const std::shared_ptr<TSRFichier> &entry) {
                AddFichier(entry, SelectionnerOuverts);
                emit openFileFound(folder, entry);
            });
    // The counts of a group of found entries are told once, after the group.
    // (Groups nest when a handler aborts: the abort lists what was handed over.)
    connect(&m_opener, &TThreadOpen::openGroupStart, this, [this] { ++m_countsHeld; });
    connect(&m_opener, &TThreadOpen::openGroupEnd, this, [this] {
        if (--m_countsHeld == 0 && m_countsDue)
            UpdateCounts();
    });
    connect(&m_opener, &TThreadOpen::openEnd, this, &TFichierListModel::openEnd);
}

TFichierListModel::~TFichierListModel() = default;

int TFichierListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant TFichierListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Row &row = m_rows[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.entry->Name();
    case PathRole:
        return row.entry->Path();
    default:
        return QVariant();
    }
}

Qt::ItemFlags TFichierListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

QStringList TFichierListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *TFichierListModel::mimeData(const QModelIndexList &indexes) const
{
    std::vector<int> rows;
    for (const QModelIndex &index : indexes) {
        if (checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<QUrl> urls;
    for (int row : rows)
        urls << QUrl::fromLocalFile(m_rows[std::size_t(row)].entry->Path());
    auto *mime = new QMimeData; // the caller (the drag) owns it
    mime->setUrls(urls);
    return mime;
}

int TFichierListModel::LowerBound(const QString &key) const
{
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), key,
                                     [](const Row &row, const QString &k) { return row.key < k; });
    return int(it - m_rows.begin());
}

int TFichierListModel::RowOfPath(const QString &path) const
{
    const auto found = m_keyOfPath.constFind(path);
    if (found == m_keyOfPath.cend())
        return -1;
    const int row = LowerBound(*found);
    return row < Count() && m_rows[std::size_t(row)].key == *found ? row : -1;
}

int TFichierListModel::IndexOf(const TAbstractListFichier *entry) const
{
    if (!entry)
        return -1;
    for (int row = 0; row < Count(); ++row) {
        if (m_rows[std::size_t(row)].entry.get() == entry)
            return row;
    }
    return -1;
}

int TFichierListModel::Insert(const std::shared_ptr<TAbstractListFichier> &entry,
                              const QString &key)
{
    const int row = LowerBound(key);
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, Row{key, entry->Path(), entry});
    m_keyOfPath.insert(entry->Path(), key);
    endInsertRows();
    return row;
}

void TFichierListModel::RemoveRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_keyOfPath.remove(m_rows[std::size_t(row)].path);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

int TFichierListModel::Reposition(int row, const std::shared_ptr<TAbstractListFichier> &entry,
                                  const QString &key)
{
    const bool wasCurrent = CurrentRow() == row;
    const bool wasSelected = m_selection.isSelected(IndexAt(row));
    RemoveRow(row);
    // Another row of the same file (an entry renamed onto a listed path)
    // gives way: one row per file.
    if (const int other = RowOfPath(entry->Path()); other >= 0)
        RemoveRow(other);
    const int placed = Insert(entry, key);
    if (wasCurrent)
        m_selection.setCurrentIndex(IndexAt(placed), QItemSelectionModel::NoUpdate);
    if (wasSelected)
        m_selection.select(IndexAt(placed), QItemSelectionModel::Select);
    return placed;
}

int TFichierListModel::AddFichier(const std::shared_ptr<TAbstractListFichier> &entry, bool select)
{
    if (!entry)
        return -1;
    if (BeforeLister && !BeforeLister(entry))
        return -1;
    const QString key = entry->GetSortKey(m_sortIndex);
    int row = RowOfPath(entry->Path());
    if (row >= 0) {
        // The same file again: the new entry takes the old one's place, and
        // its row moves when the new reading changed its key.
        const std::shared_ptr<TAbstractListFichier> old = m_rows[std::size_t(row)].entry;
        if (m_rows[std::size_t(row)].key == key) {
            m_rows[std::size_t(row)].entry = entry;
            emit dataChanged(IndexAt(row), IndexAt(row));
        } else {
            row = Reposition(row, entry, key);
        }
        if (select)
            m_selection.select(IndexAt(row), QItemSelectionModel::Select);
        if (m_active == old) {
            m_active = entry;
            emit activeChanged(m_active);
        }
    } else {
        row = Insert(entry, key);
        if (select)
            m_selection.select(IndexAt(row), QItemSelectionModel::Select);
    }
    if (Count() == 1)
        SetActiveIndex(0);
    UpdateCounts();
    return row;
}

std::shared_ptr<TAbstractListFichier> TFichierListModel::GetFichier(int row) const
{
    if (row < 0 || row >= Count())
        return nullptr;
    return m_rows[std::size_t(row)].entry;
}

void TFichierListModel::RemoveEntry(const std::shared_ptr<TAbstractListFichier> &entry)
{
    const int row = IndexOf(entry.get());
    if (row < 0)
        return;
    const bool wasCurrent = CurrentRow() == row;
    RemoveRow(row);
    if (wasCurrent) {
        m_selection.clearCurrentIndex();
        m_active.reset();
    }
    UpdateCounts();
}

int TFichierListModel::SwapEntry(const std::shared_ptr<TAbstractListFichier> &oldEntry,
                                 const std::shared_ptr<TAbstractListFichier> &newEntry)
{
    const int row = IndexOf(oldEntry.get());
    if (row < 0 || !newEntry)
        return -1;
    const QString key = newEntry->GetSortKey(m_sortIndex);
    int placed = row;
    Row &current = m_rows[std::size_t(row)];
    if (current.key == key && current.path == newEntry->Path()) {
        current.entry = newEntry;
        emit dataChanged(IndexAt(row), IndexAt(row));
    } else {
        placed = Reposition(row, newEntry, key);
    }
    if (m_active == oldEntry && oldEntry != newEntry) {
        m_active = newEntry;
        emit activeChanged(m_active);
    }
    return placed;
}

void TFichierListModel::ReplaceEntry(const std::shared_ptr<TAbstractListFichier> &oldEntry,
                                     const std::shared_ptr<TAbstractListFichier> &newEntry)
{
    RemoveEntry(oldEntry);
    const int row = AddFichier(newEntry, false);
    if (row < 0)
        return;
    if (!m_active)
        SetActiveIndex(row);
    m_selection.select(IndexAt(row), QItemSelectionModel::Select);
}

void TFichierListModel::SelectEntry(const std::shared_ptr<TAbstractListFichier> &entry)
{
    const int row = IndexOf(entry.get());
    if (row >= 0)
        m_selection.select(IndexAt(row), QItemSelectionModel::Select);
}

void TFichierListModel::SetActiveIndex(int row)
{
    if (row < -1 || row >= Count())
        return;
    if (row == -1)
        m_selection.clearCurrentIndex();
    else
        m_selection.setCurrentIndex(IndexAt(row), QItemSelectionModel::Select);
    UpdateActive();
    UpdateCounts();
}

void TFichierListModel::ClearFichiers()
{
    beginResetModel();
    m_rows.clear();
    m_keyOfPath.clear();
    endResetModel();
    SetActiveIndex(-1);
}

void TFichierListModel::RemoveSelected()
{
    std::vector<int> rows;
    for (const QModelIndex &index : m_selection.selectedIndexes())
        rows.push_back(index.row());
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const int topmost = rows.front();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        RemoveRow(*it);
    if (Count() == 0) {
        m_selection.clearCurrentIndex();
        return;
    }
    const int next = std::min(topmost > 0 ? topmost - 1 : 0, Count() - 1);
    m_selection.setCurrentIndex(IndexAt(next), QItemSelectionModel::Select);
}

void TFichierListModel::Resort()
{
    if (m_rows.empty())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<const TAbstractListFichier *> entriesBefore;
    for (const QModelIndex &index : before)
        entriesBefore.push_back(m_rows[std::size_t(index.row())].entry.get());

    for (Row &row : m_rows)
        row.key = row.entry->GetSortKey(m_sortIndex);
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [](const Row &a, const Row &b) { return a.key < b.key; });
    m_keyOfPath.clear();
    for (const Row &row : m_rows)
        m_keyOfPath.insert(row.path, row.key);

    QHash<const TAbstractListFichier *, int> rowOf;
    for (int row = 0; row < Count(); ++row)
        rowOf.insert(m_rows[std::size_t(row)].entry.get(), row);
    QModelIndexList after;
    for (const TAbstractListFichier *entry : entriesBefore)
        after << IndexAt(rowOf.value(entry, -1));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);

    // The selection moved with its rows; the active entry's row is current.
    if (m_active) {
        const int activeRow = IndexOf(m_active.get());
        if (activeRow >= 0)
            m_selection.setCurrentIndex(IndexAt(activeRow), QItemSelectionModel::NoUpdate);
    }
    emit countsChanged(SelectedCount(), Count());
}

int TFichierListModel::CurrentRow() const
{
    const QModelIndex current = m_selection.currentIndex();
    return current.isValid() ? current.row() : -1;
}

int TFichierListModel::SelectedCount() const
{
    return int(m_selection.selectedIndexes().size());
}

std::vector<std::shared_ptr<TAbstractListFichier>> TFichierListModel::SelectedEntries() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : m_selection.selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::shared_ptr<TAbstractListFichier>> entries;
    for (int row : rows)
        entries.push_back(m_rows[std::size_t(row)].entry);
    return entries;
}

void TFichierListModel::UpdateCounts()
{
    if (m_countsHeld > 0) {
        m_countsDue = true;
        return;
    }
    m_countsDue = false;
    const int selected = SelectedCount();
    const int count = Count();
    if (selected != m_lastSelected || count != m_lastCount) {
        m_lastSelected = selected;
        m_lastCount = count;
        const QString s = selected >= 2 ? QStringLiteral("s") : QString();
        m_hint =
            QStringLiteral("%1 fichier%2 sélectionné%2 sur %3\n").arg(selected).arg(s).arg(count);
        emit hintChanged(m_hint);
    }
    emit countsChanged(selected, count);
}

void TFichierListModel::UpdateActive()
{
    const int row = CurrentRow();
    if (row >= 0) {
        const std::shared_ptr<TAbstractListFichier> &entry = m_rows[std::size_t(row)].entry;
        if (entry != m_active) {
            m_active = entry;
            emit activeChanged(m_active);
            m_selection.select(IndexAt(row), QItemSelectionModel::Select);
        }
        return;
    }
    m_selection.clearCurrentIndex();
    if (m_active) {
        m_active.reset();
        emit activeChanged(nullptr);
    }
}

void TFichierListModel::OpenFichiers(const QStringList &paths)
{
    m_opener.Open(TOpenMode::Fichiers, paths);
}

void TFichierListModel::OpenFolder(const QString &folder)
{
    m_opener.Open(TOpenMode::Folder, {folder});
}

void TFichierListModel::OpenAll()
{
    m_opener.Open(TOpenMode::All, {});
}

void TFichierListModel::OpenPlayList(const QString &path)
{
    m_opener.Open(TOpenMode::PlayList, {path});
}

void TFichierListModel::PasteFichiers()
{
    // The clipboard belongs to the GUI thread: its names are read here.
    QStringList names;
    if (const QMimeData *mime = QGuiApplication::clipboard()->mimeData(); mime && mime->hasUrls()) {
        for (const QUrl &url : mime->urls()) {
            if (url.isLocalFile())
                names << url.toLocalFile();
        }
    }
    m_opener.Open(TOpenMode::Paste, names);
}

void TFichierListModel::DropFichiers(const QStringList &paths)
{
    m_opener.Open(TOpenMode::Dropped, paths);
}

} // namespace vidora
