#include "platform/media/filters/avi_splitter.h"

#include "formats/avilayout.h"
#include "formats/dvsystem.h"
#include "formats/riff.h"
#include "platform/media/filters/dv_info.h"
#include "platform/media/scaled.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace vidora::media {

namespace {

constexpr std::uint32_t kRiff = fourCC("RIFF");
constexpr std::uint32_t kList = fourCC("LIST");
constexpr std::uint32_t kAvi = fourCC("AVI ");
constexpr std::uint32_t kAvix = fourCC("AVIX");
constexpr std::uint32_t kHdrl = fourCC("hdrl");
constexpr std::uint32_t kStrl = fourCC("strl");
constexpr std::uint32_t kMovi = fourCC("movi");
constexpr std::uint32_t kRec = fourCC("rec ");
constexpr std::uint32_t kStrh = fourCC("strh");
constexpr std::uint32_t kStrf = fourCC("strf");
constexpr std::uint32_t kIndx = fourCC("indx");
constexpr std::uint32_t kIdx1 = fourCC("idx1");
constexpr std::uint32_t kVids = fourCC("vids");
constexpr std::uint32_t kAuds = fourCC("auds");
constexpr std::uint32_t kIavs = fourCC("iavs");

constexpr std::size_t kMaxStreams = 100;          // two decimal digits in a chunk id
constexpr std::uint32_t kMaxFormat = 64 * 1024;   // a "strf" larger than this is not a format
constexpr std::uint32_t kMaxChunk = 64u << 20;    // one frame of 64 MiB or more is not a frame
constexpr std::uint32_t kMaxSampleRate = 1000000; // Hz; no sound is sampled faster
constexpr std::int64_t kSecond = 10000000;        // 100 ns units

// A decimal stream number from the first two characters of a chunk id, or -1.
int streamNumber(std::uint32_t id)
{
    const int a = static_cast<int>(id & 0xFF) - '0';
    const int b = static_cast<int>((id >> 8) & 0xFF) - '0';
    if (a < 0 || a > 9 || b < 0 || b > 9)
        return -1;
    return a * 10 + b;
}

bool isIndexChunk(std::uint32_t id)
{
    return (id & 0xFFFF) == (fourCC("ix00") & 0xFFFF) || (id >> 16) == (fourCC("00ix") >> 16);
}

struct ChunkHeader
{
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::int64_t data = 0; // data offset
    std::int64_t end() const { return data + size; }
    std::int64_t next() const { return data + size + (size & 1); }
};

// A DIF frame's first bytes: a header block (section type 0) whose 50/60
// flag matches the frame's size.
bool difFrameStart(const std::uint8_t *dif, std::uint32_t frameBytes)
{
    return (dif[0] & 0xE0) == 0 && ((dif[3] & 0x80) != 0) == (frameBytes == kDv625.frameBytes);
}

struct BadFile : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The splitter's asynchronous reader as the RIFF reader's byte source.
class AsyncReaderSource final : public riff::ByteSource
{
public:
    explicit AsyncReaderSource(IAsyncReader &reader) : m_reader(reader) {}
    qint64 size() const override { return m_reader.Length(); }
    bool read(qint64 offset, qint64 count, void *out) override
    {
        return m_reader.SyncRead(offset, static_cast<std::size_t>(count), out);
    }

private:
    IAsyncReader &m_reader;
};

// Reads of the file that never go past its end.
class Reader
{
public:
    explicit Reader(IAsyncReader &reader) : m_source(reader), m_bounded(m_source) {}
    std::int64_t length() const { return m_bounded.fileSize(); }

    bool read(std::int64_t position, std::size_t size, void *out) const
    {
        return size <= static_cast<std::uint64_t>(length()) &&
               m_bounded.read(position, static_cast<qint64>(size), out);
    }
    std::optional<ChunkHeader> header(std::int64_t position) const
    {
        const auto header = m_bounded.headerAt(position);
        if (!header)
            return std::nullopt;
        return ChunkHeader{header->id, header->size, position + riff::kHeaderSize};
    }
    std::optional<std::uint32_t> u32(std::int64_t position) const
    {
        return m_bounded.fourCCAt(position);
    }
    std::vector<std::uint8_t> bytes(std::int64_t position, std::uint32_t size) const
    {
        std::vector<std::uint8_t> out(size);
        if (!read(position, size, out.data()))
            throw BadFile("the file ends inside its headers");
        return out;
    }

private:
    AsyncReaderSource m_source;
    riff::BoundedReader m_bounded;
};

std::string idText(std::uint32_t id)
{
    return "\"" + fourCCText(id) + "\"";
}

// The children of a list, each checked to fit in it.
template <class Visit>
void walkList(const Reader &reader, std::int64_t begin, std::int64_t end, Visit visit)
{
    std::int64_t at = begin;
    while (at + 8 <= end) {
        auto chunk = reader.header(at);
        if (!chunk)
            throw BadFile("the file ends inside its headers");
        if (chunk->end() > end)
            throw BadFile("chunk " + idText(chunk->id) + " of " + std::to_string(chunk->size) +
                          " bytes does not fit in its list");
        visit(*chunk);
        at = chunk->next();
    }
}

// How many whole-size chunks of a type-1 stream are read for its DVINFO
// before the stored block is taken: damaged files do not get read through.
constexpr int kDvInfoFramesTried = 16;

// The DVINFO of a type-1 stream: the packs of its first whole DIF frame,
// the stored block where they say nothing (or when no frame is whole).
DvInfo streamDvInfo(const Reader &reader, const AviSplitterFilter::Stream &s, const DvInfo &stored)
{
    std::vector<std::uint8_t> frame;
    int tried = 0;
    for (const auto &c : s.chunks) {
        const dv::System *sys = DvSystemByFrameBytes(c.size);
        if (!sys)
            continue;
        if (++tried > kDvInfoFramesTried)
            break;
        frame.resize(c.size);
        if (reader.read(c.offset, c.size, frame.data()) && difFrameStart(frame.data(), c.size))
            return dv::frameDvInfo(frame, *sys, stored);
    }
    return stored;
}

struct IndexSource
{
    std::int64_t idx1 = -1; // data offset of the first form's "idx1"
    std::uint32_t idx1Size = 0;
    std::int64_t firstMovi = -1; // offset of the first form's "movi" list type
    std::vector<std::pair<std::int64_t, std::int64_t>> movis; // after the list type, to its end
};

void parseStreamList(const Reader &reader, std::int64_t begin, std::int64_t end,
                     AviSplitterFilter::Stream &stream)
{
    bool header = false;
    walkList(reader, begin, end, [&](const ChunkHeader &chunk) {
        if (chunk.id == kStrh) {
            // As far as dwLength at least; dwSampleSize where the header has it.
            constexpr std::uint32_t needed = avi::strh::kLengthOffset + 4;
            if (chunk.size < needed)
                throw BadFile("a stream header of " + std::to_string(chunk.size) + " bytes");
            const auto h = reader.bytes(chunk.data, needed);
            stream.type = readLE32(&h[avi::strh::kTypeOffset]);
            stream.handler = readLE32(&h[avi::strh::kHandlerOffset]);
            stream.scale = readLE32(&h[avi::strh::kScaleOffset]);
            stream.rate = readLE32(&h[avi::strh::kRateOffset]);
            if (chunk.size >= avi::strh::kSampleSizeOffset + 4)
                stream.sampleSize = *reader.u32(chunk.data + avi::strh::kSampleSizeOffset);
            header = true;
        } else if (chunk.id == kStrf) {
            if (chunk.size > kMaxFormat)
                throw BadFile("a stream format of " + std::to_string(chunk.size) + " bytes");
            stream.format = reader.bytes(chunk.data, chunk.size);
        } else if (chunk.id == kIndx) {
            stream.superIndexOffset = chunk.data;
            stream.superIndexSize = chunk.size;
        }
    });
    if (!header)
        throw BadFile("a stream list without a stream header");
}

void parseHeaderList(const Reader &reader, std::int64_t begin, std::int64_t end,
                     std::vector<AviSplitterFilter::Stream> &streams)
{
    walkList(reader, begin, end, [&](const ChunkHeader &chunk) {
        if (chunk.id != kList || chunk.size < 4)
            return;
        // Streams are numbered by their place among the stream lists: a list
        // whose type was damaged but that starts with a stream header still
        // counts, or every later stream would take its chunks.
        if (reader.u32(chunk.data) != kStrl &&
            (chunk.size < 12 || reader.u32(chunk.data + 4) != kStrh))
            return;
        if (streams.size() >= kMaxStreams)
            throw BadFile("more than " + std::to_string(kMaxStreams) + " streams");
        streams.emplace_back();
        parseStreamList(reader, chunk.data + 4, chunk.end(), streams.back());
    });
}

using Chunk = AviSplitterFilter::Chunk;

// Entries of each stream compared with the chunk headers they point at when
// the file is opened, spread over the stream (the first and the last among
// them); the others are compared as they are read.
constexpr std::size_t kCheckedPerStream = 64;

// Letters, digits, blanks and underscores ("_PMX", "00__"): what the chunk
// ids of AVI files are made of. Anything else (a zero-filled tail, a damaged
// header) ends a scan.
bool isChunkId(std::uint32_t id)
{
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(id >> (8 * i));
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != ' ' && c != '_')
            return false;
    }
    return true;
}

// Whether the header found before a chunk's data is the header of that chunk
// of stream `number`.
bool headerFits(const ChunkHeader &header, std::size_t number, const Chunk &chunk)
{
    return streamNumber(header.id) == static_cast<int>(number) && !isIndexChunk(header.id) &&
           header.size == chunk.size;
}

// What one way of finding a stream's chunks (an index, the scan) gave.
struct Found
{
    std::vector<Chunk> chunks; // the entries that can be used, in stream order
    std::size_t checked = 0;   // entries compared with their headers at opening
    std::size_t bad = 0;       // of those, the ones that did not fit (dropped)
    std::size_t outside = 0;   // entries past the file's end or of impossible sizes (dropped)
    bool damaged = false;      // the index itself does not hold together

    bool clean() const { return !damaged && bad == 0 && outside == 0 && !chunks.empty(); }
    // The intact chunks it probably leads to: the unchecked entries fail as
    // often as the checked ones did.
    double expected() const
    {
        if (checked == 0)
            return static_cast<double>(chunks.size());
        const double good = static_cast<double>(checked - bad);
        const double unchecked = static_cast<double>(chunks.size()) - good;
        return good + unchecked * good / static_cast<double>(checked);
    }
};

// Adds an index entry to `found`, numbered by its place in the index so that
// a dropped entry leaves a gap rather than moving the frames after it:
// frames count one each, other streams by bytes.
void addEntry(Found &found, std::int64_t &position, bool frames, std::int64_t data,
              std::uint32_t size, bool key, std::int64_t fileLength)
{
    const std::int64_t at = position;
    position += frames ? 1 : size;
    if (size > kMaxChunk || data < 8 || data > fileLength - size) {
        ++found.outside;
        return;
    }
    found.chunks.push_back({data, size, at, key});
}

// Compares the spread entries of one stream with their headers and drops
// those that do not fit.
void checkEntries(const Reader &reader, std::size_t number, Found &found)
{
    const std::size_t count = found.chunks.size();
    if (count == 0)
        return;
    const std::size_t checks = std::min(count, kCheckedPerStream);
    std::vector<bool> dropped(count, false);
    std::size_t last = count;
    for (std::size_t i = 0; i < checks; ++i) {
        const std::size_t index = checks == 1 ? 0 : i * (count - 1) / (checks - 1);
        if (index == last)
            continue;
        last = index;
        ++found.checked;
        const Chunk &chunk = found.chunks[index];
        const auto header = reader.header(chunk.offset - 8);
        if (!header || !headerFits(*header, number, chunk)) {
            dropped[index] = true;
            ++found.bad;
        }
    }
    if (found.bad == 0)
        return;
    std::vector<Chunk> kept;
    kept.reserve(count - found.bad);
    for (std::size_t i = 0; i < count; ++i)
        if (!dropped[i])
            kept.push_back(found.chunks[i]);
    found.chunks = std::move(kept);
}

bool isFrameStream(const AviSplitterFilter::Stream &stream)
{
    return stream.type == kVids || stream.type == kIavs;
}

// One standard index ("ix##") into `found`; a chunk that is no standard
// index of chunks damages the super index.
void readStandardIndex(const Reader &reader, std::int64_t offset, bool frames,
                       std::int64_t &position, Found &found)
{
    auto chunk = reader.header(offset);
    if (!chunk || !isIndexChunk(chunk->id) || chunk->size < avi::kIndexHeaderSize ||
        chunk->end() > reader.length()) {
        found.damaged = true;
        return;
    }
    const auto head = reader.bytes(chunk->data, avi::kIndexHeaderSize);
    const std::uint16_t longsPerEntry = readLE16(&head[avi::index::kLongsPerEntryOffset]);
    const std::uint8_t indexType = head[avi::index::kIndexTypeOffset];
    const std::uint32_t entries = readLE32(&head[avi::index::kEntriesInUseOffset]);
    const std::uint64_t base = readLE64(&head[avi::index::kBaseOffsetOffset]);
    if (indexType != avi::index::kIndexOfChunks ||
        longsPerEntry != avi::kStandardIndexLongsPerEntry ||
        entries > (chunk->size - avi::kIndexHeaderSize) / avi::kStandardIndexEntrySize ||
        base > static_cast<std::uint64_t>(reader.length())) {
        found.damaged = true;
        return;
    }
    const auto table =
        reader.bytes(chunk->data + avi::kIndexHeaderSize, entries * avi::kStandardIndexEntrySize);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t *e = &table[i * avi::kStandardIndexEntrySize];
        const std::int64_t data = static_cast<std::int64_t>(base) + readLE32(e);
        const std::uint32_t word = readLE32(e + 4);
        addEntry(found, position, frames, data, word & ~avi::kNotKeyframeBit,
                 !(word & avi::kNotKeyframeBit), reader.length());
    }
}

Found readSuperIndex(const Reader &reader, const AviSplitterFilter::Stream &stream,
                     std::size_t number)
{
    Found found;
    const std::int64_t length = reader.length();
    if (stream.superIndexSize < avi::kIndexHeaderSize ||
        stream.superIndexOffset + avi::kIndexHeaderSize > length) {
        found.damaged = true;
        return found;
    }
    const auto head = reader.bytes(stream.superIndexOffset, avi::kIndexHeaderSize);
    const std::uint32_t entries = readLE32(&head[avi::index::kEntriesInUseOffset]);
    if (readLE16(&head[avi::index::kLongsPerEntryOffset]) != avi::kSuperIndexLongsPerEntry ||
        head[avi::index::kIndexTypeOffset] != avi::index::kIndexOfIndexes ||
        entries > (stream.superIndexSize - avi::kIndexHeaderSize) / avi::kSuperIndexEntrySize) {
        found.damaged = true;
        return found;
    }
    const auto table = reader.bytes(stream.superIndexOffset + avi::kIndexHeaderSize,
                                    entries * avi::kSuperIndexEntrySize);
    std::int64_t position = 0;
    for (std::uint32_t i = 0; i < entries && !found.damaged; ++i) {
        const std::uint64_t offset = readLE64(&table[i * avi::kSuperIndexEntrySize]);
        if (offset > static_cast<std::uint64_t>(length)) {
            found.damaged = true;
            break;
        }
        readStandardIndex(reader, static_cast<std::int64_t>(offset), isFrameStream(stream),
                          position, found);
        // Every chunk takes at least its 8-byte header.
        if (found.chunks.size() + found.outside > static_cast<std::uint64_t>(length) / 8)
            found.damaged = true;
    }
    checkEntries(reader, number, found);
    return found;
}

// The "idx1" entries of every stream, their offsets counted from `base`.
std::vector<Found> readIdx1(const Reader &reader, const std::vector<std::uint8_t> &table,
                            std::int64_t base,
                            const std::vector<AviSplitterFilter::Stream> &streams)
{
    std::vector<Found> found(streams.size());
    std::vector<std::int64_t> positions(streams.size(), 0);
    for (std::size_t i = 0; i + avi::kIdx1EntrySize <= table.size(); i += avi::kIdx1EntrySize) {
        const std::uint8_t *e = &table[i];
        const int number = streamNumber(readLE32(e));
        if (number < 0 || static_cast<std::size_t>(number) >= streams.size() ||
            isIndexChunk(readLE32(e)))
            continue;
        const auto n = static_cast<std::size_t>(number);
        addEntry(found[n], positions[n], isFrameStream(streams[n]),
                 base + readLE32(e + avi::idx1::kOffsetOffset) + riff::kHeaderSize,
                 readLE32(e + avi::idx1::kSizeOffset),
                 (readLE32(e + avi::idx1::kFlagsOffset) & avi::idx1::kKeyframe) != 0,
                 reader.length());
    }
    for (std::size_t n = 0; n < found.size(); ++n)
        checkEntries(reader, n, found[n]);
    return found;
}

double expectedOf(const std::vector<Found> &found)
{
    double sum = 0;
    for (const auto &f : found)
        sum += f.expected();
    return sum;
}

// Without an index, or when the indexes disagree with the file: every data
// chunk of every "movi" list, up to the first one that is not wholly in its
// list or whose id or size cannot be a chunk's (a recording stopped short
// leaves a zero-filled tail there).
std::vector<Found> scanMovi(const Reader &reader, const IndexSource &source,
                            const std::vector<AviSplitterFilter::Stream> &streams)
{
    std::vector<Found> found(streams.size());
    std::vector<std::int64_t> positions(streams.size(), 0);
    for (const auto &[begin, end] : source.movis) {
        std::vector<std::int64_t> ends{end}; // nested "rec " lists
        std::int64_t at = begin;
        while (!ends.empty()) {
            if (at + 8 > ends.back()) {
                at = ends.back() + (ends.back() & 1);
                ends.pop_back();
                continue;
            }
            auto chunk = reader.header(at);
            if (!chunk || !isChunkId(chunk->id) || chunk->end() > ends.back())
                return found;
            if (chunk->id == kList && chunk->size >= 4 && reader.u32(chunk->data) == kRec &&
                ends.size() < 4) {
                ends.push_back(chunk->end());
                at = chunk->data + 4;
                continue;
            }
            const int number = streamNumber(chunk->id);
            if (number >= 0 && static_cast<std::size_t>(number) < streams.size() &&
                !isIndexChunk(chunk->id)) {
                if (chunk->size > kMaxChunk)
                    return found;
                const auto n = static_cast<std::size_t>(number);
                addEntry(found[n], positions[n], isFrameStream(streams[n]), chunk->data,
                         chunk->size, true, reader.length());
            }
            at = chunk->next();
        }
    }
    return found;
}

// Where each stream's chunks come from: its OpenDML index, else "idx1", else
// a scan of the "movi" lists, each tried for the streams whose chunks the
// ones before did not give cleanly (nothing, or entries that do not fit the
// file). Where none is clean, the one that leads to the most intact chunks.
void findChunks(const Reader &reader, const IndexSource &source,
                std::vector<AviSplitterFilter::Stream> &streams)
{
    const std::size_t count = streams.size();
    std::vector<bool> settled(count, false);
    std::vector<Found> best(count);
    const auto offer = [&](std::vector<Found> found) {
        for (std::size_t n = 0; n < count; ++n) {
            if (settled[n])
                continue;
            if (found[n].clean() || found[n].expected() > best[n].expected()) {
                settled[n] = found[n].clean();
                best[n] = std::move(found[n]);
            }
        }
    };
    const auto allSettled = [&] {
        return std::all_of(settled.begin(), settled.end(), [](bool s) { return s; });
    };

    bool superIndexes = false;
    for (const auto &s : streams)
        superIndexes = superIndexes || s.superIndexOffset >= 0;
    if (superIndexes) {
        std::vector<Found> found(count);
        for (std::size_t n = 0; n < count; ++n)
            if (streams[n].superIndexOffset >= 0)
                found[n] = readSuperIndex(reader, streams[n], n);
        offer(std::move(found));
    }
    // "idx1" only covers the first form: behind an OpenDML index it stands in
    // for it only in a file of one form.
    if (!allSettled() && source.idx1 >= 0 && source.firstMovi >= 0 &&
        (!superIndexes || source.movis.size() == 1)) {
        const auto table =
            reader.bytes(source.idx1, source.idx1Size / avi::kIdx1EntrySize * avi::kIdx1EntrySize);
        // Offsets count from the "movi" list type as a rule, from the file
        // start in some writers.
        auto found = readIdx1(reader, table, source.firstMovi, streams);
        if (!std::all_of(found.begin(), found.end(), [](const Found &f) { return f.clean(); })) {
            auto fromStart = readIdx1(reader, table, 0, streams);
            if (expectedOf(fromStart) > expectedOf(found))
                found = std::move(fromStart);
        }
        offer(std::move(found));
    }
    if (!allSettled())
        offer(scanMovi(reader, source, streams));
    for (std::size_t n = 0; n < count; ++n)
        streams[n].chunks = std::move(best[n].chunks);
}

// The top-level forms: "AVI " first, then "AVIX" extensions. The first form's
// header list gives the streams; every form's "movi" and the first form's
// "idx1" are noted for the index step. A form that claims more than the file
// holds is a recording cut short: it is read up to the end.
void readForms(const Reader &reader, std::vector<AviSplitterFilter::Stream> &streams,
               IndexSource &index)
{
    std::int64_t at = 0;
    bool first = true;
    while (at + 12 <= reader.length()) {
        auto form = reader.header(at);
        const auto type = reader.u32(at + 8);
        if (!form || form->id != kRiff || form->size < 4 || type != (first ? kAvi : kAvix))
            break;
        const std::int64_t formEnd = std::min(form->end(), reader.length());
        std::int64_t child = form->data + 4;
        while (child + 8 <= formEnd) {
            auto chunk = reader.header(child);
            if (!chunk || !isChunkId(chunk->id))
                break; // the form's space was set aside, not filled
            const std::int64_t end = std::min(chunk->end(), formEnd);
            if (chunk->id == kList && chunk->size >= 4) {
                const auto listType = reader.u32(chunk->data);
                if (listType == kHdrl && first) {
                    if (chunk->end() > formEnd)
                        throw BadFile("the header list runs past the end of the file");
                    parseHeaderList(reader, chunk->data + 4, chunk->end(), streams);
                } else if (listType == kMovi) {
                    if (first && index.firstMovi < 0)
                        index.firstMovi = chunk->data;
                    index.movis.emplace_back(chunk->data + 4, end);
                }
            } else if (chunk->id == kIdx1 && first && index.idx1 < 0) {
                index.idx1 = chunk->data;
                index.idx1Size = static_cast<std::uint32_t>(end - chunk->data);
            }
            child = chunk->next();
        }
        first = false;
        at = form->next();
    }
}

// Frame numbering: a frame stream needs a usable rate; its video chunks of no
// bytes are dropped frames, which keep their frame number but are not
// delivered.
void numberFrames(AviSplitterFilter::Stream &s)
{
    const bool frames = s.type == kVids || s.type == kIavs;
    if (frames &&
        (s.scale == 0 || s.rate == 0 || static_cast<std::int64_t>(s.scale) * 1000 < s.rate))
        throw BadFile("a frame rate of " + std::to_string(s.rate) + "/" + std::to_string(s.scale));
    std::vector<Chunk> kept;
    kept.reserve(s.chunks.size());
    for (auto &c : s.chunks) {
        s.totalBytes += c.size;
        if (frames && c.size == 0)
            continue;
        s.maxChunk = std::max(s.maxChunk, c.size);
        kept.push_back(c);
    }
    s.chunks = std::move(kept);
}

// DV detection: a video stream is DV when its handler or compression names a
// DV code, or when its first frame is a whole DIF frame whose header block
// agrees with its size.
bool isDvVideo(const Reader &reader, const AviSplitterFilter::Stream &s,
               const BitmapInfoHeader &bitmap)
{
    if (IsDvFourCC(s.handler) || IsDvFourCC(bitmap.biCompression))
        return true;
    if (s.chunks.empty() || !DvSystemByFrameBytes(s.chunks[0].size))
        return false;
    std::uint8_t dif[4];
    return reader.read(s.chunks[0].offset, 4, dif) && difFrameStart(dif, s.chunks[0].size);
}

// The media type a stream is published with, from its header and format.
void setMediaType(const Reader &reader, AviSplitterFilter::Stream &s)
{
    if (s.type == kIavs) {
        const auto stored = DvInfo::read(s.format).value_or(DvInfo{});
        s.mediaType = MediaType::interleaved(subtype::Dvsd, streamDvInfo(reader, s, stored));
    } else if (s.type == kVids) {
        auto bitmap = BitmapInfoHeader::read(s.format);
        if (!bitmap)
            throw BadFile("a video format of " + std::to_string(s.format.size()) + " bytes");
        VideoInfoHeader info;
        info.bmiHeader = *bitmap;
        info.AvgTimePerFrame = scaled(kSecond, s.scale, s.rate);
        // A top-down picture has a negative height; the most negative
        // one has no positive counterpart.
        const auto height = static_cast<std::int32_t>(std::min<std::int64_t>(
            std::abs(std::int64_t{bitmap->biHeight}), std::numeric_limits<std::int32_t>::max()));
        info.rcSource = info.rcTarget = Rect{0, 0, bitmap->biWidth, height};
        Subtype sub = bitmap->biCompression;
        if (isDvVideo(reader, s, *bitmap))
            sub = subtype::Dvsd;
        else if (sub == 0 && bitmap->biBitCount == 24)
            sub = subtype::Rgb24;
        auto block = info.bytes();
        block.insert(block.end(), s.format.begin() + BitmapInfoHeader::Size, s.format.end());
        s.mediaType = MediaType(MajorType::Video, sub);
        s.mediaType.setFormat(FormatType::VideoInfo, std::move(block));
    } else if (s.type == kAuds) {
        auto wave = WaveFormatEx::read(s.format);
        if (!wave && s.format.size() >= avi::kPcmWaveFormatSize)
            wave = WaveFormatEx::read(std::span(s.format).first(avi::kPcmWaveFormatSize));
        if (!wave)
            throw BadFile("an audio format of " + std::to_string(s.format.size()) + " bytes");
        if (wave->nAvgBytesPerSec == 0)
            throw BadFile("an audio stream of 0 bytes per second");
        // Sound no program can play: readers take the rate as a
        // signed 32-bit number of samples per second.
        if (wave->nChannels == 0 || wave->nSamplesPerSec == 0 ||
            wave->nSamplesPerSec > kMaxSampleRate)
            throw BadFile("an audio stream of " + std::to_string(wave->nChannels) +
                          " channels at " + std::to_string(wave->nSamplesPerSec) + " Hz");
        s.mediaType = MediaType::audio(*wave);
        s.mediaType.setSubtype(wave->wFormatTag);
        if (wave->wFormatTag == subtype::Pcm) {
            s.mediaType.fixedSizeSamples = true;
            s.mediaType.sampleSize = wave->nBlockAlign;
        }
    } else {
        s.mediaType = MediaType(MajorType::Stream, s.type);
    }
}

} // namespace

AviSplitterFilter::AviSplitterFilter() : SplitterFilter("AVI Splitter"), m_input(*this, "input pin")
{}

AviSplitterFilter::~AviSplitterFilter()
{
    BeginStop();
    JoinStreaming();
}

std::vector<MediaType> AviSplitterFilter::proposeTypes(const Pin &pin)
{
    if (&pin == &m_input)
        return {MediaType(MajorType::Stream, subtype::Avi)};
    return SplitterFilter::proposeTypes(pin);
}

bool AviSplitterFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin == &m_input)
        return type.major() == MajorType::Stream &&
               (type.subtype() == subtype::Any || type.subtype() == subtype::Avi);
    return SplitterFilter::checkPinType(pin, type);
}

bool AviSplitterFilter::completeConnect(Pin &pin)
{
    if (&pin != &m_input)
        return SplitterFilter::completeConnect(pin);
    auto *reader = m_input.peer() ? m_input.peer()->queryInterface<IAsyncReader>() : nullptr;
    m_lastError.clear();
    if (!reader) {
        m_lastError = "the input gives no random access to a file";
        return false;
    }
    if (!open(*reader)) {
        m_streams.clear();
        return false;
    }
    m_reader = reader;
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        const char number[3] = {static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10),
                                0};
        addOutput(std::string("Stream ") + number);
    }
    return true;
}

void AviSplitterFilter::pinDisconnected(Pin &pin)
{
    if (&pin != &m_input)
        return;
    removeOutputs();
    m_streams.clear();
    m_reader = nullptr;
}

bool AviSplitterFilter::open(IAsyncReader &source)
{
    const Reader reader(source);
    std::vector<Stream> streams;
    IndexSource index;
    try {
        std::uint8_t head[12];
        if (!reader.read(0, 12, head) || readLE32(head) != kRiff || readLE32(head + 8) != kAvi)
            throw BadFile("not an AVI file");
        readForms(reader, streams, index);
        if (streams.empty())
            throw BadFile("no stream in the header list");
        findChunks(reader, index, streams);
        for (auto &s : streams) {
            numberFrames(s);
            setMediaType(reader, s);
        }
    } catch (const BadFile &e) {
        m_lastError = e.what();
        return false;
    }
    m_streams = std::move(streams);
    return true;
}

std::int64_t AviSplitterFilter::chunkStart(const Stream &s, std::size_t index) const
{
    const Chunk &c = s.chunks[index];
    if (s.mediaType.major() == MajorType::Audio) {
        const auto wave = s.mediaType.waveFormat();
        return scaled(c.position, kSecond, wave->nAvgBytesPerSec);
    }
    if (s.rate == 0)
        return 0;
    return scaled(c.position, kSecond * s.scale, s.rate);
}

std::int64_t AviSplitterFilter::chunkStop(const Stream &s, std::size_t index) const
{
    const Chunk &c = s.chunks[index];
    if (s.mediaType.major() == MajorType::Audio) {
        const auto wave = s.mediaType.waveFormat();
        return scaled(c.position + c.size, kSecond, wave->nAvgBytesPerSec);
    }
    if (s.rate == 0)
        return 0;
    return scaled(c.position + 1, kSecond * s.scale, s.rate);
}

std::vector<MediaType> AviSplitterFilter::OutputTypes(std::size_t stream)
{
    if (stream >= m_streams.size())
        return {};
    return {m_streams[stream].mediaType};
}

bool AviSplitterFilter::DecideBufferSize(std::size_t stream, Allocator &allocator)
{
    const Stream &s = m_streams.at(stream);
    const bool audio = s.mediaType.major() == MajorType::Audio;
    return allocator
        .setProperties({audio ? 8u : 4u, std::max<std::size_t>(s.maxChunk, 1) + kReadPadding, 16})
        .has_value();
}

Flow AviSplitterFilter::GetNextSample(std::size_t stream, SamplePtr &sample)
{
    Stream &s = m_streams.at(stream);
    if (!m_reader)
        return Flow::Error;
    // An entry that does not point at a header of its own chunk is skipped:
    // the stream goes on with the next one.
    for (; s.next < s.chunks.size(); ++s.next) {
        const Chunk &c = s.chunks[s.next];
        std::uint8_t bytes[8];
        if (!m_reader->SyncRead(c.offset - 8, sizeof bytes, bytes))
            return Flow::Error;
        if (headerFits({readLE32(bytes), readLE32(bytes + 4), c.offset}, stream, c))
            break;
    }
    if (s.next >= s.chunks.size())
        return Flow::EndOfStream;
    auto *allocator = streamAllocator(stream);
    if (!allocator)
        return Flow::Error;
    const Flow got = allocator->getBuffer(sample);
    if (got != Flow::Ok)
        return got;
    Chunk c = s.chunks[s.next];
    if (s.skip > 0 && s.skip < c.size) {
        c.offset += s.skip;
        c.position += s.skip;
        c.size -= s.skip;
    }
    s.skip = 0;
    // A stop position before the end: PCM ends at its sample.
    const std::int64_t stop = stopPosition().value_or(-1);
    const auto end = stop < Duration() ? pcmByte(s, stop) : std::nullopt;
    if (end && *end > c.position && *end < c.position + c.size)
        c.size = static_cast<std::uint32_t>(*end - c.position);
    if (c.size + kReadPadding > sample->capacity() ||
        !m_reader->SyncRead(c.offset, c.size, sample->data()))
        return Flow::Error;
    std::memset(sample->data() + c.size, 0, kReadPadding);
    sample->setActualLength(c.size);
    if (s.mediaType.major() == MajorType::Audio) {
        // Times of the bytes delivered, which a seek or stop may have cut.
        const auto wave = s.mediaType.waveFormat();
        const auto align = std::max<std::int64_t>(wave->nBlockAlign, 1);
        sample->time = TimeRange{scaled(c.position, kSecond, wave->nAvgBytesPerSec),
                                 scaled(c.position + c.size, kSecond, wave->nAvgBytesPerSec)};
        sample->mediaTime = TimeRange{c.position / align, (c.position + c.size) / align};
    } else {
        sample->time = TimeRange{chunkStart(s, s.next), chunkStop(s, s.next)};
        if (s.mediaType.major() != MajorType::Stream)
            sample->mediaTime = TimeRange{c.position, c.position + 1};
    }
    sample->syncPoint = c.key;
    ++s.next;
    return Flow::Ok;
}

bool AviSplitterFilter::Seek(std::int64_t position)
{
    for (auto &s : m_streams) {
        // The first chunk that ends after the position: the one that holds it.
        std::size_t low = 0, high = s.chunks.size();
        while (low < high) {
            const std::size_t mid = (low + high) / 2;
            if (chunkStop(s, mid) <= position)
                low = mid + 1;
            else
                high = mid;
        }
        s.next = low;
        // PCM starts at the position's own sample inside its chunk.
        s.skip = 0;
        const auto at = pcmByte(s, position);
        if (at && s.next < s.chunks.size() && *at > s.chunks[s.next].position)
            s.skip = static_cast<std::uint32_t>(
                std::min<std::int64_t>(*at - s.chunks[s.next].position, s.chunks[s.next].size));
    }
    return true;
}

std::optional<std::int64_t> AviSplitterFilter::pcmByte(const Stream &s, std::int64_t time) const
{
    if (time < 0 || s.mediaType.major() != MajorType::Audio || !s.mediaType.fixedSizeSamples)
        return std::nullopt;
    const auto wave = s.mediaType.waveFormat();
    if (!wave || wave->nBlockAlign == 0)
        return std::nullopt;
    const std::int64_t byte = scaled(time, wave->nAvgBytesPerSec, kSecond);
    return byte - byte % wave->nBlockAlign;
}

std::int64_t AviSplitterFilter::Duration()
{
    std::int64_t longest = 0;
    for (const auto &s : m_streams)
        if (!s.chunks.empty())
            longest = std::max(longest, chunkStop(s, s.chunks.size() - 1));
    return longest;
}

std::int64_t AviSplitterFilter::FrameCount(std::size_t stream) const
{
    if (stream >= m_streams.size())
        return 0;
    const Stream &s = m_streams[stream];
    if ((s.type != kVids && s.type != kIavs) || s.chunks.empty())
        return 0;
    return s.chunks.back().position + 1;
}

std::int64_t AviSplitterFilter::FrameDuration()
{
    for (const auto &s : m_streams)
        if ((s.type == kVids || s.type == kIavs) && s.rate > 0)
            return scaled(kSecond, s.scale, s.rate);
    return 0;
}

FrameRate AviSplitterFilter::ExactFrameRate()
{
    // The rate chunkStart() stamps the video samples by.
    for (const auto &s : m_streams)
        if ((s.type == kVids || s.type == kIavs) && s.rate > 0 && s.scale > 0)
            return {s.rate, s.scale};
    return {};
}

FilterFactory aviSplitterFactory()
{
    return {"AVI Splitter", merit::Normal, [] { return std::make_shared<AviSplitterFilter>(); }};
}

} // namespace vidora::media
