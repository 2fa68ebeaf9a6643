#include "files/listfichier.h"

#include <QDateTime>
#include <QDir>

namespace vidora {

namespace {

const TSortIndex kAlpha{QStringLiteral("alpha"), QStringLiteral("in alphabetical order"),
                        QStringLiteral("sorted alphabetically")};
const TSortIndex kExtension{QStringLiteral("extension"), QStringLiteral("by extension"),
                            QStringLiteral("sorted by extension")};
const TSortIndex kChemin{QStringLiteral("chemin"), QStringLiteral("by path"),
                         QStringLiteral("sorted by path")};
const TSortIndex kTaille{QStringLiteral("taille"), QStringLiteral("by file size"),
                         QStringLiteral("sorted by size")};
const TSortIndex kModify{QStringLiteral("modify"), QStringLiteral("by file date"),
                         QStringLiteral("sorted by file date")};
const TSortIndex kDatecode{QStringLiteral("datecode"), QStringLiteral("by datecode"),
                           QStringLiteral("sorted by datecode")};
const TSortIndex kTimecode{QStringLiteral("timecode"), QStringLiteral("by timecode"),
                           QStringLiteral("Sort by timecode")};
const TSortIndex kDuree{QStringLiteral("duree"), QStringLiteral("by duration"),
                        QStringLiteral("sorted by duration")};

// A file time as a local date-time value; 0 when the file system has none.
DateTimeValue LocalDate(const QDateTime &time)
{
    if (!time.isValid())
        return 0;
    DateTimeValue value = 0;
    const QDateTime local = time.toLocalTime();
    const DateTimeParts parts{
        {local.date().year(), local.date().month(), local.date().day()},
        {local.time().hour(), local.time().minute(), local.time().second(), local.time().msec()}};
    return TryEncodeDateTime(parts, value) ? value : 0;
}

// The extension with its dot, from the last "." of the name; empty without one.
QString Extension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

// "%.16x" of a 32-bit word: 16 lower-case hexadecimal digits.
QString Hex16(std::uint32_t word)
{
    return QStringLiteral("%1").arg(word, 16, 16, QLatin1Char('0'));
}

} // namespace

bool operator==(const TSortIndex &a, const TSortIndex &b)
{
    return a.KeyWord == b.KeyWord && a.MenuText == b.MenuText && a.StatusText == b.StatusText;
}

const TSortIndex &SortAlpha()
{
    return kAlpha;
}
const TSortIndex &SortExtension()
{
    return kExtension;
}
const TSortIndex &SortChemin()
{
    return kChemin;
}
const TSortIndex &SortTaille()
{
    return kTaille;
}
const TSortIndex &SortModify()
{
    return kModify;
}
const TSortIndex &SortDatecode()
{
    return kDatecode;
}
const TSortIndex &SortTimecode()
{
    return kTimecode;
}
const TSortIndex &SortDuree()
{
    return kDuree;
}

TSortIndex SortIndexFromKey(const QString &keyWord)
{
    for (const TSortIndex *order : {&kAlpha, &kModify, &kTaille, &kDatecode, &kTimecode, &kDuree}) {
        if (order->KeyWord == keyWord)
            return *order;
    }
    return kAlpha;
}

QString EntryIdentityPath(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

std::shared_ptr<TAbstractListFichier> TAbstractListFichier::Create(const QString &path)
{
    auto entry = std::make_shared<TAbstractListFichier>();
    entry->SetFileName(path);
    return entry;
}

void TAbstractListFichier::SetFileName(const QString &path)
{
    m_path = EntryIdentityPath(path);
    m_name = QFileInfo(m_path).fileName();
    m_nameKey = MakeKey((m_name + m_path).toLower());
    m_extensionKey = MakeKey((Extension(m_name) + m_path).toLower());
    m_pathKey = MakeKey(m_path.toLower());
}

QString TAbstractListFichier::GetSortKey(const TSortIndex &order) const
{
    if (order.KeyWord == kAlpha.KeyWord)
        return m_nameKey;
    if (order.KeyWord == kExtension.KeyWord)
        return m_extensionKey;
    if (order.KeyWord == kChemin.KeyWord)
        return m_pathKey;
    return QString();
}

QString TAbstractListFichier::MakeKey(const QString &lowerCasedText) const
{
    return lowerCasedText + m_path;
}

std::shared_ptr<TSRFichier> TSRFichier::Create(const QString &path)
{
    auto entry = std::make_shared<TSRFichier>();
    entry->ReadPath(path);
    return entry;
}

std::shared_ptr<TSRFichier> TSRFichier::CreateFromSearchRec(const QString &folder,
                                                            const QFileInfo &found)
{
    auto entry = std::make_shared<TSRFichier>();
    entry->ReadSearchRec(folder, found);
    return entry;
}

bool TSRFichier::ReadPath(const QString &path)
{
    const QFileInfo info(path);
    // Only regular files (or links to them) become entries with data: reading
    // a FIFO or a device could block or never end.
    if (path.isEmpty() || !info.exists() || !info.isFile())
        return false;
    ReadSearchRec(info.path(), info);
    return true;
}

void TSRFichier::ReadSearchRec(const QString &folder, const QFileInfo &found)
{
    TAbstractListFichier::SetFileName(QDir(folder).filePath(found.fileName()));
    m_size = found.size();
    m_creation = LocalDate(found.birthTime());
    m_lastWrite = LocalDate(found.lastModified());
    m_lastAccess = LocalDate(found.lastRead());
    m_attributes = std::uint32_t(found.permissions());
    m_readOnly = !found.permissions().testFlag(QFileDevice::WriteOwner);
    UpdateOwnKeys();
}

void TSRFichier::SetFileName(const QString &path)
{
    TAbstractListFichier::SetFileName(path);
    UpdateOwnKeys();
}

void TSRFichier::UpdateOwnKeys()
{
    // 32 hexadecimal digits, high word first, so the text order is the size
    // order for any 64-bit size.
    m_sizeKey = MakeKey(Hex16(SizeHigh()) + Hex16(SizeLow()) + Path().toLower());
    QString date;
    try {
        date = FormatDateTime(QStringLiteral("yyyymmddhhnnss"), m_lastWrite);
    } catch (const std::exception &) {
        date.clear();
    }
    m_dateKey = MakeKey(date + Path().toLower());
}

QString TSRFichier::GetSortKey(const TSortIndex &order) const
{
    if (order.KeyWord == kTaille.KeyWord)
        return m_sizeKey;
    if (order.KeyWord == kModify.KeyWord)
        return m_dateKey;
    return TAbstractListFichier::GetSortKey(order);
}

} // namespace vidora
