#include "formats/aviinfo.h"

#include "formats/avilayout.h"

#include <QFile>

#include <algorithm>
#include <optional>

namespace vidora {

namespace {

// Where the walk goes on after a "dmlh" or a short "indx", counted from the
// chunk's data start whatever its size: the extended AVI header's fixed size,
// and the smallest super index (its header and four entries).
constexpr qint64 kDmlhStep = avi::kExtendedHeaderSize;
constexpr qint64 kMinIndx = avi::superIndexSize(4);

// AVI numbers its streams with two decimal digits; far more stream lists than
// that only come from a damaged or hostile file, whose further stream lists
// are skipped so that memory stays bounded.
constexpr std::size_t kMaxStreams = 10000;

// One walk over an open file. Each level returns whether it succeeded;
// `remaining` is the byte count its list still offers, always decreased by
// at least 8 per child, so every loop ends.
class ParamWalker
{
public:
    ParamWalker(QIODevice &device, std::vector<TAvistream> &streams, int &videoIndex)
        : m_reader(device), m_streams(streams), m_videoIndex(videoIndex)
    {}

    bool walkFile()
    {
        bool parsed = false;
        qint64 remaining = m_reader.fileSize();
        while (remaining >= riff::kHeaderSize) {
            const auto header = nextHeader();
            if (!header)
                break;
            const qint64 length = qint64(header->size) + riff::kHeaderSize;
            if (length > remaining)
                break; // a form cut short is refused
            remaining -= length;
            if (header->id != riff::kRiff || header->size < riff::kListTypeSize)
                break;
            const qint64 dataStart = m_position;
            const auto type = listType();
            if (!type || !isAviForm(*type))
                break;
            if (!walkFormBody(header->size - riff::kListTypeSize))
                break;
            parsed = true;
            m_position = dataStart + header->size;
        }
        return parsed;
    }

private:
    static bool isAviForm(FourCC type)
    {
        return fourCCBytesText(type).left(3).toUpper() == QLatin1String("AVI");
    }

    // Reads the header of the next chunk, one pad byte skipped when the
    // position is odd; the position is left at the chunk's data.
    std::optional<riff::ChunkHeader> nextHeader()
    {
        if (m_position & 1)
            ++m_position;
        const auto header = m_reader.headerAt(m_position);
        if (header)
            m_position += riff::kHeaderSize;
        return header;
    }

    std::optional<FourCC> listType()
    {
        const auto type = m_reader.fourCCAt(m_position);
        if (type)
            m_position += riff::kListTypeSize;
        return type;
    }

    // Reads the next child of a list that still offers `remaining` bytes and
    // counts it down; nothing when the header read came short or the child
    // is larger than the list.
    std::optional<riff::ChunkHeader> nextChild(qint64 &remaining, bool &tooLarge)
    {
        tooLarge = false;
        const auto header = nextHeader();
        if (!header)
            return std::nullopt;
        const qint64 length = qint64(header->size) + riff::kHeaderSize;
        if (length > remaining) {
            tooLarge = true;
            return std::nullopt;
        }
        remaining -= length;
        return header;
    }

    // "AVI " or "AVIX" body: a short header read ends it with success.
    bool walkFormBody(qint64 remaining)
    {
        while (remaining >= riff::kHeaderSize) {
            bool tooLarge = false;
            const auto header = nextChild(remaining, tooLarge);
            if (!header)
                return !tooLarge;
            const qint64 dataStart = m_position;
            if (header->id == riff::kList) {
                if (header->size < riff::kListTypeSize)
                    return false;
                const auto type = listType();
                if (!type)
                    return false;
                if (*type == riff::kHdrl && !walkHeaderList(header->size - riff::kListTypeSize))
                    return false;
            }
            m_position = dataStart + header->size;
        }
        return true;
    }

    bool walkHeaderList(qint64 remaining)
    {
        while (remaining >= riff::kHeaderSize) {
            bool tooLarge = false;
            const auto header = nextChild(remaining, tooLarge);
            if (!header)
                return false;
            const qint64 dataStart = m_position;
            if (header->id == riff::kList && header->size >= riff::kListTypeSize) {
                const auto type = listType();
                if (!type)
                    return false;
                const qint64 listRemaining = header->size - riff::kListTypeSize;
                // Both sub-walks leave the position where they stopped and
                // the header list goes on from there, whatever their result.
                if (*type == riff::kStrl && m_streams.size() < kMaxStreams) {
                    walkStreamList(listRemaining);
                    continue;
                }
                if (*type == riff::kOdml) {
                    walkOdmlList(listRemaining);
                    continue;
                }
            }
            m_position = dataStart + header->size;
        }
        return true;
    }

    bool walkStreamList(qint64 remaining)
    {
        m_streams.emplace_back();
        const int streamIndex = int(m_streams.size()) - 1;
        while (remaining >= riff::kHeaderSize) {
            bool tooLarge = false;
            const auto header = nextChild(remaining, tooLarge);
            if (!header)
                return false;
            const qint64 dataStart = m_position;
            if (header->id == riff::kStrh) {
                const qint64 count = std::min<qint64>(header->size, TAvistream::kHeaderSize);
                const auto bytes = m_reader.readAt(dataStart, count);
                if (!bytes)
                    return false;
                TAvistream &stream = m_streams[std::size_t(streamIndex)];
                stream.header.fill('\0');
                std::copy(bytes->cbegin(), bytes->cend(), stream.header.begin());
                const FourCC type = stream.fccType();
                if ((type == riff::kVids || type == riff::kIavs) && m_videoIndex < 0)
                    m_videoIndex = streamIndex;
            } else if (header->id == riff::kIndx && header->size < kMinIndx) {
                m_position = dataStart + kMinIndx;
                return false;
            }
            m_position = dataStart + header->size;
        }
        return true;
    }

    bool walkOdmlList(qint64 remaining)
    {
        while (remaining >= riff::kHeaderSize) {
            bool tooLarge = false;
            const auto header = nextChild(remaining, tooLarge);
            if (!header)
                return false;
            const qint64 dataStart = m_position;
            m_position = dataStart + (header->id == riff::kDmlh ? kDmlhStep : qint64(header->size));
        }
        return true;
    }

    riff::BoundedReader m_reader;
    std::vector<TAvistream> &m_streams;
    int &m_videoIndex;
    qint64 m_position = 0;
};

} // namespace

TAviParam::TAviParam(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw AviFileError(
            QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()).toStdString());
    }
    m_parsed = ParamWalker(file, m_streams, m_videoIndex).walkFile();
}

const TAvistream *TAviParam::GetVideoStream() const
{
    if (m_videoIndex < 0)
        return nullptr;
    return &m_streams[std::size_t(m_videoIndex)];
}

QString TAviParam::GetVideoHandler() const
{
    const TAvistream *stream = GetVideoStream();
    if (!stream)
        return QStringLiteral("####");
    return fourCCBytesText(stream->fccHandler());
}

} // namespace vidora
