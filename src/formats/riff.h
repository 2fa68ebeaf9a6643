#pragma once

// The bounded RIFF reading layer shared by the AVI walkers: FourCC and
// little-endian helpers, exact reads at 64-bit offsets that never pass the end
// of the file, and the chunk tree as a value.
//
// RIFF as read here: a chunk is a FourCC identifier, a 32-bit little-endian
// size and `size` data bytes, stored with an even length (a pad byte follows
// an odd size). "RIFF" and "LIST" chunks begin their data with a FourCC list
// type. AVI files over 1 GiB hold several top-level "RIFF" forms ("AVI ",
// then "AVIX"), so every offset is 64-bit.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

class QIODevice;

namespace vidora {

// A file that cannot be opened, read or written: the message names the path
// and the reason.
class AviFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A FourCC as stored in a RIFF file: the first character in the lowest byte.
using FourCC = quint32;

constexpr FourCC makeFourCC(const char (&text)[5])
{
    return FourCC(quint8(text[0])) | FourCC(quint8(text[1])) << 8 | FourCC(quint8(text[2])) << 16 |
           FourCC(quint8(text[3])) << 24;
}

inline quint16 readLE16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

inline quint32 readLE32(const char *p)
{
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16 |
           quint32(quint8(p[3])) << 24;
}

inline quint64 readLE64(const char *p)
{
    return quint64(readLE32(p)) | quint64(readLE32(p + 4)) << 32;
}

inline quint16 readLE16(const std::uint8_t *p)
{
    return readLE16(reinterpret_cast<const char *>(p));
}

inline quint32 readLE32(const std::uint8_t *p)
{
    return readLE32(reinterpret_cast<const char *>(p));
}

inline quint64 readLE64(const std::uint8_t *p)
{
    return readLE64(reinterpret_cast<const char *>(p));
}

// Four bytes in file order, little-endian.
QByteArray bytesLE32(quint32 value);

// The four bytes of a FourCC in file order, each byte one character
// (Latin-1), zero bytes included.
QString fourCCBytesText(FourCC code);

namespace riff {

constexpr FourCC kRiff = makeFourCC("RIFF");
constexpr FourCC kList = makeFourCC("LIST");
constexpr FourCC kMovi = makeFourCC("movi");
// The AVI lists and chunks the walkers look into, and the stream types
// they tell apart.
constexpr FourCC kHdrl = makeFourCC("hdrl");
constexpr FourCC kStrl = makeFourCC("strl");
constexpr FourCC kAvih = makeFourCC("avih");
constexpr FourCC kStrh = makeFourCC("strh");
constexpr FourCC kStrf = makeFourCC("strf");
constexpr FourCC kIndx = makeFourCC("indx");
constexpr FourCC kIdx1 = makeFourCC("idx1");
constexpr FourCC kOdml = makeFourCC("odml");
constexpr FourCC kDmlh = makeFourCC("dmlh");
constexpr FourCC kVids = makeFourCC("vids");
constexpr FourCC kIavs = makeFourCC("iavs");
constexpr qint64 kHeaderSize = 8;
constexpr qint64 kListTypeSize = 4;

struct ChunkHeader
{
    FourCC id = 0;
    quint32 size = 0; // as stored: data bytes, pad byte excluded
};

// Random access to the bytes of a file: all that the bounded reader needs.
// An open device adapts to it (DeviceSource), and so does the media layer's
// asynchronous reader in the AVI splitter.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    // Reads exactly `count` bytes at `offset` into `out`; false when it
    // cannot. The bounded reader asks only for ranges inside size().
    virtual bool read(qint64 offset, qint64 count, void *out) = 0;
};

class DeviceSource final : public ByteSource
{
public:
    explicit DeviceSource(QIODevice &device) : m_device(device) {}
    qint64 size() const override;
    bool read(qint64 offset, qint64 count, void *out) override;

private:
    QIODevice &m_device;
};

// Exact reads from a byte source, bounded by its size as it was when the
// reader was made. A read that the file cannot satisfy in full returns
// nothing; nothing is ever read past the end.
class BoundedReader
{
public:
    // `source` must outlive the reader.
    explicit BoundedReader(ByteSource &source);
    explicit BoundedReader(QIODevice &device);

    qint64 fileSize() const { return m_size; }
    // Whether [offset, offset + count) lies inside the file.
    bool holds(qint64 offset, qint64 count) const;

    // Reads exactly `count` bytes into `out`; false when they are not all
    // inside the file or cannot be read.
    bool read(qint64 offset, qint64 count, void *out) const;
    std::optional<QByteArray> readAt(qint64 offset, qint64 count) const;
    std::optional<ChunkHeader> headerAt(qint64 offset) const;
    std::optional<FourCC> fourCCAt(qint64 offset) const;

private:
    std::unique_ptr<DeviceSource> m_device; // when made from a device
    ByteSource &m_source;
    qint64 m_size;
};

// One chunk as walked.
struct Chunk
{
    FourCC id = 0;
    FourCC listType = 0; // for "RIFF" and "LIST" chunks that hold one; 0 otherwise
    qint64 headerOffset = 0;
    qint64 dataOffset = 0; // headerOffset + 8
    quint32 storedSize = 0;
    // The data length walked: the stored size rounded up to even, then cut to
    // what the file still holds.
    qint64 size = 0;
    int parent = -1;             // index in Tree::chunks; -1 at the top level
    int depth = 0;               // 0 at the top level
    bool cutToFile = false;      // the rounded stored size ran past the end of the file
    bool overrunsParent = false; // longer than its list still had; it ended that list

    bool hasListType() const { return listType != 0; }
    // The chunk's own data bytes inside the file: pad byte and missing tail excluded.
    qint64 dataSize() const { return qMin<qint64>(storedSize, size); }
    // Where the next chunk after this one begins.
    qint64 end() const { return dataOffset + size; }
};

// The chunk tree of a file as a value: chunks in file order (each parent
// before its children), and how the walk ended.
struct Tree
{
    static constexpr int kMaxDepth = 32;
    static constexpr int kMaxChunks = 1'000'000;

    std::vector<Chunk> chunks;
    qint64 fileSize = 0;
    qint64 garbageOffset = -1;  // a top-level chunk that is not "RIFF" begins here
    bool unexpectedEnd = false; // a chunk header read came short
    bool depthLimited = false;  // a list nested deeper than kMaxDepth was not entered
    bool chunkLimited = false;  // the walk stopped after kMaxChunks chunks

    // One line per chunk, indented two blanks per level:
    //   RIFF 'AVI ' at 0 size 2048
    //     LIST 'movi' at 520 size 4294967295 cut to 1520 overruns parent
    // then one line for each way the walk ended early.
    QString dump() const;
};

// Walks every chunk from the start of the file, cutting oversized chunks to
// the file:
// - an odd stored size is rounded up to even (the pad byte), and a size that
//   passes the end of the file is cut to what the file still holds;
// - "RIFF" and "LIST" chunks of at least 4 bytes read their list type and are
//   entered, except "movi" (frame data, never read); a list's children are
//   walked while more than 7 of its bytes remain; a child longer than what is
//   left is still walked, and it ends its list;
// - the next sibling always starts at the previous chunk's data start + size;
// - at the top level, the walk ends at the first chunk that is not "RIFF", at
//   a "RIFF" chunk of size 0 and at a header read that comes short.
// Lists deeper than Tree::kMaxDepth are not entered.
Tree walkTree(QIODevice &device);

QString fourCCDumpText(FourCC code); // non-printable bytes shown as '.'

} // namespace riff
} // namespace vidora
