#include "formats/riffanalysis.h"

#include "formats/avilayout.h"
#include "formats/riff.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <span>

namespace vidora {

namespace {

using riff::BoundedReader;

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

// How a field of a dumped structure is shown.
enum class Shown {
    Chars,    // the four bytes as characters
    Hex,      // upper-case hexadecimal, two digits per byte
    Unsigned, // decimal
    Signed,   // decimal, two's complement
};

// One field of a dumped structure: its label, where it lies (offset and
// width in bytes, from the chunk's data) and how it is shown.
struct Field
{
    const char *label;
    int offset;
    int width;
    Shown shown;
};

// AVISTREAMHEADER.
constexpr Field kStreamHeaderFields[] = {
    {"FourccType = ", 0, 4, Shown::Chars},
    {"FourccHandler = ", 4, 4, Shown::Chars},
    {"Flags = ", 8, 4, Shown::Hex},
    {"Priority = ", 12, 2, Shown::Unsigned},
    {"Language = ", 14, 2, Shown::Hex},
    {"InitialFrames = ", 16, 4, Shown::Unsigned},
    {"Scale = ", 20, 4, Shown::Unsigned},
    {"Rate = ", 24, 4, Shown::Unsigned},
    {"Start = ", 28, 4, Shown::Unsigned},
    {"Length = ", 32, 4, Shown::Unsigned},
    {"SuggestedBufferSize = ", 36, 4, Shown::Unsigned},
    {"Quality = ", 40, 4, Shown::Hex},
    {"SampleSize = ", 44, 4, Shown::Unsigned},
    {"rcFrame.Left = ", 48, 2, Shown::Signed},
    {"rcFrame.Top = ", 50, 2, Shown::Signed},
    {"rcFrame.Right = ", 52, 2, Shown::Signed},
    {"rcFrame.Bottom = ", 54, 2, Shown::Signed},
};

// AVIMAINHEADER, without its FOURCC and size.
constexpr Field kMainHeaderFields[] = {
    {"MicroSecPerFrame = ", 0, 4, Shown::Unsigned},
    {"MaxBytesPerSec = ", 4, 4, Shown::Unsigned},
    {"PaddingGranularity = ", 8, 4, Shown::Unsigned},
    {"Flags = ", 12, 4, Shown::Hex},
    {"TotalFrames = ", 16, 4, Shown::Unsigned},
    {"InitialFrames = ", 20, 4, Shown::Unsigned},
    {"Streams = ", 24, 4, Shown::Unsigned},
    {"SuggestedBufferSize = ", 28, 4, Shown::Unsigned},
    {"Width = ", 32, 4, Shown::Unsigned},
    {"Height = ", 36, 4, Shown::Unsigned},
    {"Reserved0 = ", 40, 4, Shown::Hex},
    {"Reserved1 = ", 44, 4, Shown::Hex},
    {"Reserved2 = ", 48, 4, Shown::Hex},
    {"Reserved3 = ", 52, 4, Shown::Hex},
};

// BITMAPINFOHEADER.
constexpr Field kBitmapInfoFields[] = {
    {"biSize = ", 0, 4, Shown::Unsigned},          {"biWidth = ", 4, 4, Shown::Signed},
    {"biHeight = ", 8, 4, Shown::Signed},          {"biPlanes = ", 12, 2, Shown::Unsigned},
    {"biBitCount = ", 14, 2, Shown::Unsigned},     {"biCompression = ", 16, 4, Shown::Chars},
    {"biSizeImage = ", 20, 4, Shown::Unsigned},    {"biXPelsPerMeter = ", 24, 4, Shown::Signed},
    {"biYPelsPerMeter = ", 28, 4, Shown::Signed},  {"biClrUsed = ", 32, 4, Shown::Unsigned},
    {"biClrImportant = ", 36, 4, Shown::Unsigned},
};

// WAVEFORMATEX; a 16-byte PCMWAVEFORMAT ends before cbSize.
constexpr Field kWaveFormatFields[] = {
    {"FormatTag = ", 0, 2, Shown::Unsigned},     {"Channels = ", 2, 2, Shown::Unsigned},
    {"SamplesPerSec = ", 4, 4, Shown::Unsigned}, {"AvgBytesPerSec = ", 8, 4, Shown::Unsigned},
    {"BlockAlign = ", 12, 2, Shown::Unsigned},   {"BitsPerSample = ", 14, 2, Shown::Unsigned},
    {"cbSize = ", 16, 2, Shown::Unsigned},
};

// DVINFO.
constexpr Field kDvInfoFields[] = {
    {"DVAAuxSrc = ", 0, 4, Shown::Hex},    {"DVAAuxCtl = ", 4, 4, Shown::Hex},
    {"DVAAuxSrc1 = ", 8, 4, Shown::Hex},   {"DVAAuxCtl1 = ", 12, 4, Shown::Hex},
    {"DVVAuxSrc = ", 16, 4, Shown::Hex},   {"DVVAuxCtl = ", 20, 4, Shown::Hex},
    {"DVReserved0 = ", 24, 4, Shown::Hex}, {"DVReserved1 = ", 28, 4, Shown::Hex},
};

// The head of AVISUPERINDEX and AVISTDINDEX (the same labels serve both).
constexpr Field kIndexHeaderFields[] = {
    {"wLongsPerEntry = ", 0, 2, Shown::Hex},  {"bIndexSubType = ", 2, 1, Shown::Unsigned},
    {"bIndexType = ", 3, 1, Shown::Unsigned}, {"nEntriesInUse = ", 4, 4, Shown::Hex},
    {"dwChunkId = ", 8, 4, Shown::Chars},     {"qwBaseOffset = ", 12, 8, Shown::Hex},
    {"dwReserved_3 = ", 20, 4, Shown::Hex},
};

QString FieldText(const Field &field, const char *data)
{
    const char *p = data + field.offset;
    quint64 value = 0;
    switch (field.width) {
    case 1:
        value = quint8(*p);
        break;
    case 2:
        value = readLE16(p);
        break;
    case 4:
        value = readLE32(p);
        break;
    default:
        value = readLE64(p);
        break;
    }
    switch (field.shown) {
    case Shown::Chars:
        return Chars(p);
    case Shown::Hex:
        return Hex(value, 2 * field.width);
    case Shown::Signed:
        return QString::number(field.width == 2 ? qint64(qint16(value)) : qint64(qint32(value)));
    case Shown::Unsigned:
        break;
    }
    return QString::number(value);
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
            if (m_out.unexpectedEnd || m_out.cancelled || m_full || n == 8)
                break;
            remaining -= n;
            position += n;
        }
    }

    void AddLogLine(QString text)
    {
        if (m_full)
            return;
        if (m_out.lines.size() >= kRiffAnalysisMaxLines) {
            m_full = true;
            m_out.lines << QStringLiteral(">>> The report stops here: it has %1 lines")
                               .arg(kRiffAnalysisMaxLines);
            return;
        }
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
        DumpHeaderChunk(level, header->id, dataStart, std::min(qint64(header->size), left));
        return result;
    }

    struct Run
    {
        qint64 chunks = 0;
        qint64 bytes = 0;
    };

    // Whether a chunk is empty (size 0) or invalid (an identifier that is
    // not four printable characters): such a chunk says nothing.
    static bool SaysNothing(const riff::ChunkHeader &header)
    {
        if (header.size == 0)
            return true;
        for (int shift = 0; shift < 32; shift += 8) {
            const auto c = static_cast<unsigned char>(header.id >> shift);
            if (c < 0x20 || c > 0x7E)
                return true;
        }
        return false;
    }

    // The chunks in a row from `position` that say nothing, within the
    // `room` bytes left in their list. All-zero headers are counted a block
    // at a time, so a zero-filled list of gigabytes takes seconds.
    Run MeasureRun(qint64 position, qint64 room)
    {
        constexpr qint64 kBlock = 1024 * 1024;
        Run run;
        while (room - run.bytes >= riff::kHeaderSize) {
            const qint64 at = position + run.bytes;
            const auto header = m_reader.headerAt(at);
            if (!header || !SaysNothing(*header))
                break;
            if (header->id == 0 && header->size == 0) {
                if (m_context.keepGoing && !m_context.keepGoing()) {
                    m_out.cancelled = true;
                    break;
                }
                const qint64 count = std::min({kBlock, room - run.bytes, m_reader.fileSize() - at});
                const auto block = m_reader.readAt(at, count & ~qint64(7));
                if (!block)
                    break;
                // Whole 8-byte headers of zeros: a block of zeros at once, else
                // eight bytes at a time.
                static const QByteArray kZeros(kBlock, '\0');
                const char *data = block->constData();
                qint64 zeros = 0;
                if (std::memcmp(data, kZeros.constData(), std::size_t(block->size())) == 0)
                    zeros = block->size();
                while (zeros + riff::kHeaderSize <= block->size() && readLE64(data + zeros) == 0)
                    zeros += riff::kHeaderSize;
                run.chunks += zeros / riff::kHeaderSize;
                run.bytes += zeros;
                continue;
            }
            const qint64 left = m_reader.fileSize() - at - riff::kHeaderSize;
            const qint64 length =
                riff::kHeaderSize + std::min(qint64(header->size) + (header->size & 1), left);
            if (length > room - run.bytes)
                break; // it ends its list: walked as any chunk
            ++run.chunks;
            run.bytes += length;
        }
        return run;
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
            if (m_out.cancelled || m_full)
                return;
            // A run of empty or invalid chunks (a zero-filled list gives one
            // every 8 bytes) is one line.
            const Run run = MeasureRun(child, size);
            if (m_out.cancelled)
                return;
            if (run.chunks >= 2) {
                AddLogLine(Indent(level + 1) +
                           QStringLiteral(">>> %1 empty or invalid chunks in a row (%2 bytes): "
                                          "not shown one by one")
                               .arg(run.chunks)
                               .arg(run.bytes));
                size -= run.bytes;
                child += run.bytes;
                continue;
            }
            const qint64 m = WalkChunks(level + 1, false, child);
            if (m_out.unexpectedEnd || m_out.cancelled || m > size)
                return;
            size -= m;
            child += m;
        }
    }

    // Shows the fields that lie wholly inside `bytes` (the part of the
    // structure the chunk holds), each as Indent + label + value.
    void DumpFields(const QString &in, std::span<const Field> fields, const QByteArray &bytes)
    {
        for (const Field &field : fields) {
            if (field.offset + field.width > bytes.size())
                continue;
            AddLogLine(in + QLatin1String(field.label) + FieldText(field, bytes.constData()));
        }
    }

    // The first `count` bytes of the chunk's data, or as many as it holds.
    std::optional<QByteArray> ReadHeld(qint64 dataStart, qint64 held, qint64 count)
    {
        return Read(dataStart, std::min(held, count));
    }

    // `held`: the bytes of data the chunk holds (its stored size, cut to the
    // file). A structure is read only as far as the chunk holds it: the
    // fields past its end are not shown, and a short chunk is no unexpected
    // end.
    void DumpHeaderChunk(int level, FourCC id, qint64 dataStart, qint64 held)
    {
        const QString in = Indent(level);
        if (id == riff::kStrh) {
            const auto b = ReadHeld(dataStart, held, avi::kStreamHeaderSize);
            if (!b)
                return;
            const FourCC type = b->size() >= 4 ? readLE32(b->constData()) : 0;
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
            DumpFields(in, kStreamHeaderFields, *b);
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("End of AVI Stream Header"));
            AddLogLine(QString());
        } else if (id == riff::kAvih) {
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral(" Start of AVI Main Header "));
            const auto b = ReadHeld(dataStart, held, avi::kMainHeaderSize);
            if (!b)
                return;
            DumpFields(in, kMainHeaderFields, *b);
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral(" End of Main Header "));
            AddLogLine(QString());
        } else if (id == riff::kStrf && m_kind == StreamKind::Video) {
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("Start of Stream Format Header"));
            const auto b = ReadHeld(dataStart, held, avi::kBitmapInfoHeaderSize);
            if (!b)
                return;
            DumpFields(in, kBitmapInfoFields, *b);
            constexpr int at = avi::bih::kCompressionOffset;
            const QString compression =
                b->size() >= at + 4 ? Chars(b->constData() + at).toLower() : QString();
            if (held - avi::kBitmapInfoHeaderSize >= avi::kDvInfoSize &&
                (compression == QLatin1String("dvsd") || compression == QLatin1String("dsvd") ||
                 compression == QLatin1String("csvd"))) {
                if (!DumpDvInfo(level, dataStart + avi::kBitmapInfoHeaderSize, avi::kDvInfoSize))
                    return;
            }
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("End of AVI Stream Format"));
            AddLogLine(QString());
        } else if (id == riff::kStrf && m_kind == StreamKind::Audio) {
            AddLogLine(QString());
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("Start of Stream Format Header"));
            const auto b = ReadHeld(dataStart, held, avi::kWaveFormatExSize);
            if (!b)
                return;
            DumpFields(in, kWaveFormatFields, *b);
            AddBannerLine(Indent(level), QStringLiteral("-"),
                          QStringLiteral("End of AVI Stream Format"));
            AddLogLine(QString());
        } else if (id == riff::kStrf && m_kind == StreamKind::Interleaved) {
            AddLogLine(QString());
            if (!DumpDvInfo(level, dataStart, held))
                return;
            AddLogLine(QString());
        } else if (id == riff::kIndx || (char(id) == 'i' && char(id >> 8) == 'x')) {
            AddLogLine(QString());
            // Only the part of the index header shown is read: a short index
            // at the end of a small file is no unexpected end.
            const auto b = ReadHeld(dataStart, held, avi::kIndexHeaderSize);
            if (!b)
                return;
            AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("Start of an Index"));
            DumpFields(in, kIndexHeaderFields, *b);
            AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("Fin de l'Index"));
            AddLogLine(QString());
        }
    }

    // The DV format block at `offset`, as far as the `held` bytes there go.
    bool DumpDvInfo(int level, qint64 offset, qint64 held)
    {
        AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("Start of DVInfo"));
        const auto b = ReadHeld(offset, held, avi::kDvInfoSize);
        if (!b)
            return false;
        DumpFields(Indent(level), kDvInfoFields, *b);
        AddBannerLine(Indent(level), QStringLiteral("-"), QStringLiteral("End of DVINfo"));
        return true;
    }

    BoundedReader m_reader;
    const TRiffAnalysisContext &m_context;
    TRiffAnalysis &m_out;
    // Set when the report reached its line limit: the walk ends.
    bool m_full = false;
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
