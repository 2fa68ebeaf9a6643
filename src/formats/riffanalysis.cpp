#include "formats/riffanalysis.h"

#include "formats/riff.h"

#include <QFile>
#include <QFileInfo>

namespace vidora {

namespace {

using riff::BoundedReader;

// Structure sizes as read.
constexpr qint64 kStreamHeaderBytes = 56;
constexpr qint64 kMainHeaderBytes = 56;
constexpr qint64 kBitmapInfoBytes = 40;
constexpr qint64 kWaveFormatBytes = 18;
constexpr qint64 kDvInfoBytes = 32;
constexpr qint64 kIndexHeaderBytes = 32; // of the index header, the part shown

enum class StreamKind {
    Video,
    Audio,
    Interleaved,
    Other,
};

QString Hex(quint64 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString Chars(const char *p)
{
    return QString::fromLatin1(p, 4);
}

bool IsFrameChunk(FourCC id)
{
    return id == makeFourCC("01wb") || id == makeFourCC("00dc") || id == makeFourCC("00db");
}

class Walker
{
public:
    Walker(QIODevice &device, const TRiffAnalysisContext &context, TRiffAnalysis &out)
        : m_reader(device), m_context(context), m_out(out)
    {}

    void WalkFile()
    {
        qint64 remaining = m_reader.fileSize();
        qint64 position = 0;
        while (remaining > 0) {
            if (m_out.cancelled)
                break;
            const qint64 n = WalkChunks(0, true, position);
            if (m_out.unexpectedEnd || m_out.cancelled || n == 8)
                break;
            remaining -= n;
            position += n;
        }
    }

    void AddLogLine(QString text)
    {
        // A line ends at its first zero byte, as a list line does.
        const qsizetype zero = text.indexOf(QChar(0));
        if (zero >= 0)
            text.truncate(zero);
        m_out.lines << text;
    }

private:
    static QString Indent(int level) { return QString(4 * level, u' '); }

    void AddBannerLine(const QString &prefix, const QString &fill, const QString &title)
    {
        AddLogLine(RiffBannerLine(prefix, fill, title));
    }

    // `count` bytes at `offset`; none, with the unexpected end set, when the
    // file ends first.
    std::optional<QByteArray> Read(qint64 offset, qint64 count)
    {
        auto bytes = m_reader.readAt(offset, count);
        if (!bytes)
            m_out.unexpectedEnd = true;
        return bytes;
    }

    // The bytes the chunk at `position` takes, header included; 0 when the
    // walk was cancelled or the file ended before its header.
    qint64 WalkChunks(int level, bool top, qint64 position)
    {
        if (m_context.keepGoing && !m_context.keepGoing()) {
            m_out.cancelled = true;
            return 0;
        }
        const auto header = m_reader.headerAt(position);
        if (!header) {
            m_out.unexpectedEnd = true;
            return 0;
        }
        const qint64 dataStart = position + riff::kHeaderSize;
        const QString indent = Indent(level);
        if (top && header->id != riff::kRiff) {
            AddLogLine(QStringLiteral(">>>") +
                       QStringLiteral(" There are %1 bytes of garbage at the end of the file")
                           .arg(Hex(quint64(m_reader.fileSize() - dataStart + 8), 8)));
            return 8;
        }
        if (!IsFrameChunk(header->id))
            AddLogLine(indent + fourCCBytesText(header->id) + QStringLiteral("  ") +
                       Hex(header->size, 8));

        // 64-bit: a size of 0xFFFFFFFF rounds up to 4 GiB.
        qint64 size = qint64(header->size) + (header->size & 1);
        const qint64 left = m_reader.fileSize() - dataStart;
        if (size > left) {
            AddLogLine(indent + QStringLiteral(">>> Bad chunk length:"));
            AddLogLine(indent + QStringLiteral(">>> ") +
                       QStringLiteral("%1 instead of %2")
                           .arg(Hex(quint64(size), 8), Hex(quint64(left), 8)));
            size = left;
        }
        const qint64 result = size + riff::kHeaderSize;
        if (size == 0)
            return result;

        if (header->id == riff::kRiff || header->id == riff::kList) {
            WalkList(level, dataStart, size);
            return result;
        }
        if (header->id == riff::kIdx1)
            return result;
        DumpHeaderChunk(level, header->id, dataStart, size);
        return result;
    }

    void WalkList(int level, qint64 dataStart, qint64 size)
    {
        const QString indent = Indent(level);
        const auto type = Read(dataStart, riff::kListTypeSize);
        if (!type)
            return;
        if (size < riff::kListTypeSize)
            return; // the list type lies past the chunk: nothing inside
        size -= riff::kListTypeSize;
        const FourCC listType = readLE32(type->constData());
        AddLogLine(indent + fourCCBytesText(listType));
        if (listType == riff::kMovi)
            return;
        if (level + 1 > kRiffAnalysisMaxDepth) {
            AddLogLine(indent + QStringLiteral(">>> Lists nested too deeply: not walked"));
            return;
        }
        // Children are walked inside their list only; the list's own size
        // decides where the next chunk after it starts.
        qint64 child = dataStart + riff::kListTypeSize;
        while (size > 7) {
            if (m_out.cancelled)
                return;
            const qint64 m = WalkChunks(level + 1, false, child);
            if (m_out.unexpectedEnd || m_out.cancelled || m > size)
                return;
            size -= m;
            child += m;
        }
    }

    void DumpHeaderChunk(int level, FourCC id, qint64 dataStart, qint64 size)
    {
        const QString in = Indent(level);
        if (id == riff::kStrh) {
            const auto b = Read(dataStart, kStreamHeaderBytes);
            if (!b)
                return;
            const char *p = b->constData();
            const FourCC type = readLE32(p);
            m_kind = type == makeFourCC("vids")   ? StreamKind::Video
                     : type == makeFourCC("auds") ? StreamKind::Audio
                     : type == makeFourCC("iavs") ? StreamKind::Interleaved
                                                  : StreamKind::Other;
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          m_kind == StreamKind::Video         ? QStringLiteral("(Video)")
                          : m_kind == StreamKind::Audio       ? QStringLiteral("(Audio)")
                          : m_kind == StreamKind::Interleaved ? QStringLiteral("(Interleaved)")
                                                              : QStringLiteral("(Unknown)"));
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("Start of AVI Stream Header"));
            AddLogLine(in + "FourccType = " + Chars(p));
            AddLogLine(in + "FourccHandler = " + Chars(p + 4));
            AddLogLine(in + "Flags = " + Hex(readLE32(p + 8), 8));
            AddLogLine(in + "Priority = " + QString::number(readLE16(p + 12)));
            AddLogLine(in + "Language = " + Hex(readLE16(p + 14), 4));
            const char *const names[] = {"InitialFrames = ", "Scale = ",  "Rate = ",
                                         "Start = ",         "Length = ", "SuggestedBufferSize = "};
            for (int i = 0; i < 6; ++i)
                AddLogLine(in + names[i] + QString::number(readLE32(p + 16 + 4 * i)));
            AddLogLine(in + "Quality = " + Hex(readLE32(p + 40), 8));
            AddLogLine(in + "SampleSize = " + QString::number(readLE32(p + 44)));
            const char *const frame[] = {
                "rcFrame.Left = ", "rcFrame.Top = ", "rcFrame.Right = ", "rcFrame.Bottom = "};
            for (int i = 0; i < 4; ++i)
                AddLogLine(in + frame[i] + QString::number(qint16(readLE16(p + 48 + 2 * i))));
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("End of AVI Stream Header"));
            AddLogLine(QString());
        } else if (id == riff::kAvih) {
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral(" Start of AVI Main Header "));
            const auto b = Read(dataStart, kMainHeaderBytes);
            if (!b)
                return;
            const char *const names[] = {"MicroSecPerFrame = ",
                                         "MaxBytesPerSec = ",
                                         "PaddingGranularity = ",
                                         "Flags = ",
                                         "TotalFrames = ",
                                         "InitialFrames = ",
                                         "Streams = ",
                                         "SuggestedBufferSize = ",
                                         "Width = ",
                                         "Height = ",
                                         "Reserved0 = ",
                                         "Reserved1 = ",
                                         "Reserved2 = ",
                                         "Reserved3 = "};
            for (int i = 0; i < 14; ++i) {
                const quint32 v = readLE32(b->constData() + 4 * i);
                const bool hex = i == 3 || i >= 10;
                AddLogLine(in + names[i] + (hex ? Hex(v, 8) : QString::number(v)));
            }
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral(" End of Main Header "));
            AddLogLine(QString());
        } else if (id == riff::kStrf && m_kind == StreamKind::Video) {
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("Start of Stream Format Header"));
            const auto b = Read(dataStart, kBitmapInfoBytes);
            if (!b)
                return;
            const char *p = b->constData();
            AddLogLine(in + "biSize = " + QString::number(readLE32(p)));
            AddLogLine(in + "biWidth = " + QString::number(qint32(readLE32(p + 4))));
            AddLogLine(in + "biHeight = " + QString::number(qint32(readLE32(p + 8))));
            AddLogLine(in + "biPlanes = " + QString::number(readLE16(p + 12)));
            AddLogLine(in + "biBitCount = " + QString::number(readLE16(p + 14)));
            AddLogLine(in + "biCompression = " + Chars(p + 16));
            AddLogLine(in + "biSizeImage = " + QString::number(readLE32(p + 20)));
            AddLogLine(in + "biXPelsPerMeter = " + QString::number(qint32(readLE32(p + 24))));
            AddLogLine(in + "biYPelsPerMeter = " + QString::number(qint32(readLE32(p + 28))));
            AddLogLine(in + "biClrUsed = " + QString::number(readLE32(p + 32)));
            AddLogLine(in + "biClrImportant = " + QString::number(readLE32(p + 36)));
            const QString compression = Chars(p + 16).toLower();
            if (size - kBitmapInfoBytes >= kDvInfoBytes &&
                (compression == QLatin1String("dvsd") || compression == QLatin1String("dsvd") ||
                 compression == QLatin1String("csvd"))) {
                if (!DumpDvInfo(level, dataStart + kBitmapInfoBytes))
                    return;
            }
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("End of AVI Stream Format"));
            AddLogLine(QString());
        } else if (id == riff::kStrf && m_kind == StreamKind::Audio) {
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("Start of Stream Format Header"));
            const auto b = Read(dataStart, kWaveFormatBytes);
            if (!b)
                return;
            const char *p = b->constData();
            AddLogLine(in + "FormatTag = " + QString::number(readLE16(p)));
            AddLogLine(in + "Channels = " + QString::number(readLE16(p + 2)));
            AddLogLine(in + "SamplesPerSec = " + QString::number(readLE32(p + 4)));
            AddLogLine(in + "AvgBytesPerSec = " + QString::number(readLE32(p + 8)));
            AddLogLine(in + "BlockAlign = " + QString::number(readLE16(p + 12)));
            AddLogLine(in + "BitsPerSample = " + QString::number(readLE16(p + 14)));
            AddLogLine(in + "cbSize = " + QString::number(readLE16(p + 16)));
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("End of AVI Stream Format"));
            AddLogLine(QString());
        } else if (id == riff::kStrf && m_kind == StreamKind::Interleaved) {
            AddLogLine(QString());
            if (!DumpDvInfo(level, dataStart))
                return;
            AddLogLine(QString());
        } else if (id == riff::kIndx || (char(id) == 'i' && char(id >> 8) == 'x')) {
            AddLogLine(QString());
            // Only the part of the index header shown is read: a short index
            // at the end of a small file is no unexpected end.
            const auto b = Read(dataStart, kIndexHeaderBytes);
            if (!b)
                return;
            const char *p = b->constData();
            AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("Start of an Index"));
            AddLogLine(in + "wLongsPerEntry = " + Hex(readLE16(p), 4));
            AddLogLine(in + "bIndexSubType = " + QString::number(quint8(p[2])));
            AddLogLine(in + "bIndexType = " + QString::number(quint8(p[3])));
            AddLogLine(in + "nEntriesInUse = " + Hex(readLE32(p + 4), 8));
            AddLogLine(in + "dwChunkId = " + Chars(p + 8));
            AddLogLine(in + "qwBaseOffset = " + Hex(readLE64(p + 12), 16));
            AddLogLine(in + "dwReserved_3 = " + Hex(readLE32(p + 20), 8));
            AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("Fin de l'Index"));
            AddLogLine(QString());
        }
    }

    bool DumpDvInfo(int level, qint64 offset)
    {
        const QString in = Indent(level);
        AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("Start of DVInfo"));
        const auto b = Read(offset, kDvInfoBytes);
        if (!b)
            return false;
        const char *const names[] = {
            "DVAAuxSrc = ", "DVAAuxCtl = ", "DVAAuxSrc1 = ",  "DVAAuxCtl1 = ",
            "DVVAuxSrc = ", "DVVAuxCtl = ", "DVReserved0 = ", "DVReserved1 = "};
        for (int i = 0; i < 8; ++i)
            AddLogLine(in + names[i] + Hex(readLE32(b->constData() + 4 * i), 8));
        AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("End of DVINfo"));
        return true;
    }

    BoundedReader m_reader;
    const TRiffAnalysisContext &m_context;
    TRiffAnalysis &m_out;
    // Set by every stream header, read by the next stream format.
    StreamKind m_kind = StreamKind::Video;
};

} // namespace

QString RiffBannerLine(const QString &prefix, const QString &fill, const QString &title)
{
    const qsizetype n = (50 - prefix.size() - title.size()) / 2;
    const QString side = n > 0 ? fill.repeated(n) : QString();
    return prefix + side + title + side;
}

TRiffAnalysis AnalyseAviFile(const QString &path, const TRiffAnalysisContext &context)
{
    TRiffAnalysis out;
    const QFileInfo info(path);
    if (!info.isFile())
        return out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;

    const QString rule(50, u'-');
    QStringList &lines = out.lines;
    lines << rule << QString();
    lines << RiffBannerLine(QString(), QStringLiteral("*"),
                            QStringLiteral("  ") +
                                QStringLiteral("Header of the file %1").arg(info.fileName()) +
                                QStringLiteral("  "));
    lines << QString();
    QString date;
    QString time;
    try {
        date = FormatDateTime(QStringLiteral("yyyy/mm/d"), context.analysedAt, context.locale);
        time = FormatDateTime(QStringLiteral("h:nn:ss"), context.analysedAt, context.locale);
    } catch (const std::exception &) {
    }
    lines << RiffBannerLine(QString(), QStringLiteral(" "),
                            QStringLiteral("analysed on %1 at %2").arg(date, time));
    lines << RiffBannerLine(QString(), QStringLiteral(" "), context.programName);
    lines << QString();
    lines << RiffBannerLine(QString(), QStringLiteral("-"), QStringLiteral(" Start of Avi RIFF "));

    Walker walker(file, context, out);
    walker.WalkFile();

    lines << QString();
    if (out.cancelled)
        lines << RiffBannerLine(QString(), QStringLiteral("-"), QStringLiteral("Canceled by user"))
              << QString();
    if (out.unexpectedEnd)
        lines << RiffBannerLine(QString(), QStringLiteral(" "), QStringLiteral("Unexpected end"))
              << QString();
    lines << RiffBannerLine(QString(), QStringLiteral("-"), QStringLiteral(" End of Header "));
    lines << RiffBannerLine(QString(), QStringLiteral(" "), path);
    lines << QString() << rule;
    return out;
}

QByteArray RiffReportBytes(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

} // namespace vidora
