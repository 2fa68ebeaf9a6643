#include "formats/riff.h"

#include <QIODevice>

namespace vidora {

QByteArray bytesLE32(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QString fourCCBytesText(FourCC code)
{
    return QString::fromLatin1(bytesLE32(code));
}

namespace riff {

qint64 DeviceSource::size() const
{
    return m_device.size();
}

bool DeviceSource::read(qint64 offset, qint64 count, void *out)
{
    return m_device.seek(offset) && m_device.read(static_cast<char *>(out), count) == count;
}

BoundedReader::BoundedReader(ByteSource &source) : m_source(source), m_size(source.size()) {}

BoundedReader::BoundedReader(QIODevice &device)
    : m_device(std::make_unique<DeviceSource>(device)), m_source(*m_device), m_size(m_source.size())
{}

bool BoundedReader::holds(qint64 offset, qint64 count) const
{
    return offset >= 0 && count >= 0 && offset <= m_size && count <= m_size - offset;
}

bool BoundedReader::read(qint64 offset, qint64 count, void *out) const
{
    return holds(offset, count) && m_source.read(offset, count, out);
}

std::optional<QByteArray> BoundedReader::readAt(qint64 offset, qint64 count) const
{
    if (!holds(offset, count))
        return std::nullopt;
    QByteArray bytes(count, Qt::Uninitialized);
    if (!m_source.read(offset, count, bytes.data()))
        return std::nullopt;
    return bytes;
}

std::optional<ChunkHeader> BoundedReader::headerAt(qint64 offset) const
{
    const auto bytes = readAt(offset, kHeaderSize);
    if (!bytes)
        return std::nullopt;
    return ChunkHeader{readLE32(bytes->constData()), readLE32(bytes->constData() + 4)};
}

std::optional<FourCC> BoundedReader::fourCCAt(qint64 offset) const
{
    const auto bytes = readAt(offset, 4);
    if (!bytes)
        return std::nullopt;
    return readLE32(bytes->constData());
}

QString fourCCDumpText(FourCC code)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const auto c = char((code >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? QChar::fromLatin1(c) : QChar(u'.');
    }
    return text;
}

namespace {

class TreeWalker
{
public:
    explicit TreeWalker(QIODevice &device) : m_reader(device)
    {
        m_tree.fileSize = m_reader.fileSize();
    }

    Tree run()
    {
        qint64 position = 0;
        while (position < m_tree.fileSize && !m_tree.chunkLimited) {
            const auto header = m_reader.headerAt(position);
            if (!header) {
                m_tree.unexpectedEnd = true;
                break;
            }
            if (header->id != kRiff) {
                m_tree.garbageOffset = position;
                break;
            }
            const int index = walkChunk(position, *header, -1, 0);
            const Chunk &form = m_tree.chunks[std::size_t(index)];
            if (form.size == 0)
                break;
            position = form.end();
        }
        return std::move(m_tree);
    }

private:
    // Records the chunk whose header was read at `offset`, walks its children
    // and returns its index in the tree.
    int walkChunk(qint64 offset, const ChunkHeader &header, int parent, int depth)
    {
        Chunk chunk;
        chunk.id = header.id;
        chunk.headerOffset = offset;
        chunk.dataOffset = offset + kHeaderSize;
        chunk.storedSize = header.size;
        chunk.parent = parent;
        chunk.depth = depth;
        chunk.size = qint64(header.size) + (header.size & 1);
        const qint64 left = m_tree.fileSize - chunk.dataOffset;
        if (chunk.size > left) {
            chunk.size = left;
            chunk.cutToFile = true;
        }
        const bool isList = (chunk.id == kRiff || chunk.id == kList) && chunk.size >= kListTypeSize;
        if (isList) {
            if (const auto type = m_reader.fourCCAt(chunk.dataOffset))
                chunk.listType = *type;
        }
        const int index = int(m_tree.chunks.size());
        m_tree.chunks.push_back(chunk);
        if (m_tree.chunks.size() >= std::size_t(Tree::kMaxChunks)) {
            m_tree.chunkLimited = true;
            return index;
        }
        if (!isList || chunk.listType == kMovi)
            return index;
        if (depth >= Tree::kMaxDepth) {
            m_tree.depthLimited = true;
            return index;
        }

        qint64 position = chunk.dataOffset + kListTypeSize;
        qint64 remaining = chunk.size - kListTypeSize;
        while (remaining > 7 && !m_tree.chunkLimited) {
            // Inside a list cut to the file, more than 7 bytes always hold a header.
            const auto childHeader = m_reader.headerAt(position);
            if (!childHeader) {
                m_tree.unexpectedEnd = true;
                break;
            }
            const int child = walkChunk(position, *childHeader, index, depth + 1);
            Chunk &walked = m_tree.chunks[std::size_t(child)];
            const qint64 length = kHeaderSize + walked.size;
            if (length > remaining) {
                walked.overrunsParent = true;
                break;
            }
            remaining -= length;
            position += length;
        }
        return index;
    }

    BoundedReader m_reader;
    Tree m_tree;
};

} // namespace

Tree walkTree(QIODevice &device)
{
    return TreeWalker(device).run();
}

QString Tree::dump() const
{
    QString text;
    for (const Chunk &chunk : chunks) {
        text += QString(chunk.depth * 2, u' ') + fourCCDumpText(chunk.id);
        if (chunk.hasListType())
            text += QStringLiteral(" '%1'").arg(fourCCDumpText(chunk.listType));
        text += QStringLiteral(" at %1 size %2").arg(chunk.headerOffset).arg(chunk.storedSize);
        if (chunk.cutToFile)
            text += QStringLiteral(" cut to %1").arg(chunk.size);
        if (chunk.overrunsParent)
            text += QStringLiteral(" overruns parent");
        text += u'\n';
    }
    if (garbageOffset >= 0)
        text += QStringLiteral("garbage at %1\n").arg(garbageOffset);
    if (unexpectedEnd)
        text += QStringLiteral("unexpected end\n");
    if (depthLimited)
        text += QStringLiteral("depth limit\n");
    if (chunkLimited)
        text += QStringLiteral("chunk limit\n");
    return text;
}

} // namespace riff
} // namespace vidora
