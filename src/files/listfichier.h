#pragma once

// File-list entries and the orders the list sorts them in. An entry knows its
// file's path and name and answers a sort key for any order; keys are texts
// compared code unit by code unit, and every key ends with the entry's path,
// so two files never share a key and one file always has the same key.
//
// An entry's identity is its canonical path: links and ".." resolved, case
// kept (Linux file names are case-sensitive, so "A.avi" and "a.avi" are two
// files). Each key is the lower-cased key text followed by that path: the
// lower-cased part gives the order, the path the tie-break.
#include "files/engineinterfaces.h"
#include "formats/datetime.h"

#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <memory>

namespace vidora {

// A sort order (copied by value).
struct TSortIndex
{
    QString KeyWord;    // compared to choose the key; stored as the setting "Sort index"
    QString MenuText;   // the words used in menus
    QString StatusText; // the words shown when the list is sorted in this order
};

bool operator==(const TSortIndex &a, const TSortIndex &b);

// The eight orders, process-wide constants.
const TSortIndex &SortAlpha();
const TSortIndex &SortExtension();
const TSortIndex &SortChemin();
const TSortIndex &SortTaille();
const TSortIndex &SortModify();
const TSortIndex &SortDatecode();
const TSortIndex &SortTimecode();
const TSortIndex &SortDuree();

// The order for a saved key word: "alpha", "modify", "taille", "datecode",
// "timecode" and "duree" give their own; any other word, "extension" and
// "chemin" included, gives "alpha".
TSortIndex SortIndexFromKey(const QString &keyWord);

// The path an entry is known by: the canonical path when the file exists,
// else the absolute, cleaned path.
QString EntryIdentityPath(const QString &path);

// An entry with path and name only. Entries are shared (std::shared_ptr): the
// list, the opening thread and the command engine hold them; the engine sees
// them as IEngineEntry.
class TAbstractListFichier : public IEngineEntry
{
public:
    TAbstractListFichier() = default;
    ~TAbstractListFichier() override = default;
    TAbstractListFichier(const TAbstractListFichier &) = delete;
    TAbstractListFichier &operator=(const TAbstractListFichier &) = delete;

    static std::shared_ptr<TAbstractListFichier> Create(const QString &path);

    // Stores the path (as its identity path) and name and recomputes the keys.
    // Not thread-safe: call it on the thread that owns the entry (the GUI).
    void SetFileName(const QString &path) override;
    // The key for the order, or an empty text for an order this class does
    // not answer.
    virtual QString GetSortKey(const TSortIndex &order) const;

    const QString &Path() const { return m_path; }
    const QString &Name() const { return m_name; }

    // IEngineEntry
    QString FullPath() const override { return m_path; }
    QString FileName() const override { return m_name; }

protected:
    // The lower-cased key text followed by the path.
    QString MakeKey(const QString &lowerCasedText) const;

private:
    QString m_path;
    QString m_name;
    QString m_nameKey;
    QString m_extensionKey;
    QString m_pathKey;
};

// An entry with the file system's data of its file.
class TSRFichier : public TAbstractListFichier
{
public:
    // An entry for the path; when the file is not there (or is not a regular
    // file, a folder or a FIFO for instance) the entry keeps empty texts and
    // zero values.
    static std::shared_ptr<TSRFichier> Create(const QString &path);
    // An entry for a file found while searching `folder`.
    static std::shared_ptr<TSRFichier> CreateFromSearchRec(const QString &folder,
                                                           const QFileInfo &found);

    void SetFileName(const QString &path) override;
    QString GetSortKey(const TSortIndex &order) const override;

    std::uint32_t SizeHigh() const { return std::uint32_t(m_size >> 32); }
    std::uint32_t SizeLow() const { return std::uint32_t(m_size); }
    std::int64_t Size() const { return m_size; }
    // Local time; 0 (1899-12-30 00:00) when the file system gives no such date.
    DateTimeValue CreationDate() const { return m_creation; }
    DateTimeValue LastWriteDate() const { return m_lastWrite; }
    DateTimeValue LastAccessDate() const { return m_lastAccess; }
    // The permission bits (QFileDevice::Permissions).
    std::uint32_t Attributes() const { return m_attributes; }
    // The owner may not write the file.
    bool ReadOnly() const { return m_readOnly; }

protected:
    // Runs the file-system part of the reading on `this`: the derived entries
    // call it first, then read their own data.
    void ReadSearchRec(const QString &folder, const QFileInfo &found);
    // Reads the file at the path when it is a regular file; false otherwise.
    bool ReadPath(const QString &path);

private:
    void UpdateOwnKeys();

    std::int64_t m_size = 0;
    DateTimeValue m_creation = 0;
    DateTimeValue m_lastWrite = 0;
    DateTimeValue m_lastAccess = 0;
    std::uint32_t m_attributes = 0;
    bool m_readOnly = false;
    QString m_sizeKey;
    QString m_dateKey;
};

} // namespace vidora
