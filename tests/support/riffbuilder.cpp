#include "support/riffbuilder.h"

#include "formats/dvsystem.h"
#include "formats/riff.h"

#include <QBuffer>
#include <QFile>
#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace vidora::test {

RiffBuilder::RiffBuilder(QIODevice &out) : m_out(out) {}

RiffBuilder::Scope::Scope(RiffBuilder *builder, std::size_t record)
    : m_builder(builder), m_record(record)
{}

RiffBuilder::Scope::Scope(Scope &&other) noexcept
    : m_builder(std::exchange(other.m_builder, nullptr)), m_record(other.m_record),
      m_declared(other.m_declared)
{}

RiffBuilder::Scope::~Scope()
{
    close();
}

qint64 RiffBuilder::Scope::headerOffset() const
{
    return m_builder ? m_builder->m_chunks[m_record].headerOffset : -1;
}

qint64 RiffBuilder::Scope::dataOffset() const
{
    return m_builder ? m_builder->m_chunks[m_record].dataOffset : -1;
}

void RiffBuilder::Scope::close()
{
    if (!m_builder)
        return;
    RiffBuilder &b = *std::exchange(m_builder, nullptr);
    BuiltChunk &record = b.m_chunks[m_record];
    const qint64 end = b.m_out.pos();
    const qint64 measured = end - record.dataOffset;
    if (!m_declared && measured > qint64(std::numeric_limits<quint32>::max()))
        ADD_FAILURE() << "chunk " << record.id.constData() << " too large for RIFF";
    const quint32 size = m_declared.value_or(quint32(measured));
    b.m_out.seek(record.headerOffset + 4);
    b.u32(size);
    b.m_out.seek(end);
    if (measured & 1)
        b.zeros(1);
    record.end = b.m_out.pos();
    --b.m_depth;
}

RiffBuilder::Scope RiffBuilder::chunk(const char *id)
{
    BuiltChunk record;
    record.id = QByteArray(id, 4);
    record.headerOffset = pos();
    record.dataOffset = pos() + 8;
    record.depth = m_depth++;
    fourcc(id);
    u32(0);
    m_chunks.push_back(record);
    return Scope(this, m_chunks.size() - 1);
}

RiffBuilder::Scope RiffBuilder::list(const char *id, const char *type)
{
    Scope scope = chunk(id);
    m_chunks.back().listType = QByteArray(type, 4);
    fourcc(type);
    return scope;
}

void RiffBuilder::leaf(const char *id, const QByteArray &data)
{
    Scope scope = chunk(id);
    bytes(data);
}

void RiffBuilder::bytes(const QByteArray &data)
{
    if (m_out.write(data) != data.size())
        ADD_FAILURE() << "fixture write failed: " << m_out.errorString().toStdString();
}

void RiffBuilder::u16(quint16 value)
{
    const char b[2] = {char(value & 0xFF), char(value >> 8)};
    bytes(QByteArray(b, 2));
}

void RiffBuilder::u32(quint32 value)
{
    u16(quint16(value & 0xFFFF));
    u16(quint16(value >> 16));
}

void RiffBuilder::fourcc(const char *code)
{
    bytes(QByteArray(code, 4));
}

void RiffBuilder::zeros(qint64 count)
{
    bytes(QByteArray(count, '\0'));
}

void RiffBuilder::skip(qint64 count)
{
    if (!m_out.seek(pos() + count))
        ADD_FAILURE() << "fixture seek failed";
}

void RiffBuilder::finish()
{
    // A buffer fills a skipped gap with zeros as it seeks; a file grows only
    // when written or resized.
    auto *file = qobject_cast<QFile *>(&m_out);
    if (file && file->size() < pos() && !file->resize(pos()))
        ADD_FAILURE() << "fixture resize failed";
}

namespace {

QByteArray le16(quint16 value)
{
    return bytesLE32(value).left(2);
}

QByteArray fitted(QByteArray data, int size)
{
    data.resize(size, '\0');
    return data;
}

QByteArray mainHeader(const AviLayout &layout)
{
    QByteArray h;
    h += bytesLE32(40000);   // dwMicroSecPerFrame: 25 frames a second
    h += bytesLE32(3600000); // dwMaxBytesPerSec
    h += bytesLE32(0);       // dwPaddingGranularity
    h += bytesLE32(0x110);   // dwFlags: has index, interleaved
    h += bytesLE32(quint32(layout.frames));
    h += bytesLE32(0); // dwInitialFrames
    h += bytesLE32(quint32(layout.streams.size()));
    h += bytesLE32(quint32(kDv625.frameBytes)); // dwSuggestedBufferSize
    h += bytesLE32(quint32(kDv625.width)) + bytesLE32(quint32(kDv625.height));
    h += QByteArray(16, '\0'); // dwReserved
    return h;
}

QByteArray streamHeader(const StreamLayout &s, int frames)
{
    QByteArray h;
    h += fitted(s.type, 4) + fitted(s.handler, 4);
    h += bytesLE32(0);      // dwFlags
    h += le16(0) + le16(0); // wPriority, wLanguage
    h += bytesLE32(0);      // dwInitialFrames
    h += bytesLE32(s.scale) + bytesLE32(s.rate);
    h += bytesLE32(0) + bytesLE32(quint32(frames)); // dwStart, dwLength
    h += bytesLE32(quint32(kDv625.frameBytes));     // dwSuggestedBufferSize
    h += bytesLE32(0xFFFFFFFF);                     // dwQuality
    h += bytesLE32(0);                              // dwSampleSize
    h += le16(0) + le16(0) + le16(quint16(kDv625.width)) + le16(quint16(kDv625.height)); // rcFrame
    return fitted(h, s.strhSize);
}

QByteArray bitmapInfo(const StreamLayout &s)
{
    QByteArray b;
    b += bytesLE32(40) + bytesLE32(quint32(kDv625.width)) + bytesLE32(quint32(kDv625.height));
    b += le16(1) + le16(24);
    b += fitted(s.compression, 4);
    b += bytesLE32(quint32(kDv625.frameBytes));
    b += QByteArray(16, '\0');
    return b;
}

QByteArray dvInfo()
{
    // DVINFO: audio and video AAUX/VAUX source and control packs of a PAL camera.
    QByteArray d;
    for (quint32 v :
         {0xD0C000C0u, 0xFFA0CF3Fu, 0xD0C001C0u, 0xFFA0CF3Fu, 0xFF80FF00u, 0xFFFFFF3Fu, 0u, 0u})
        d += bytesLE32(v);
    return d;
}

QByteArray waveFormat()
{
    return le16(1) + le16(2) + bytesLE32(48000) + bytesLE32(192000) + le16(4) + le16(16) + le16(0);
}

// An OpenDML index header: wLongsPerEntry, bIndexSubType, bIndexType,
// nEntriesInUse, dwChunkId, then 12 bytes (qwBaseOffset and dwReserved for a
// standard index), then the entries.
QByteArray indexChunk(quint8 type, quint16 longsPerEntry, quint32 entries, const char *chunkId,
                      int size)
{
    QByteArray d = le16(longsPerEntry);
    d += char(0);
    d += char(type);
    d += bytesLE32(entries) + QByteArray(chunkId, 4) + QByteArray(12, '\0');
    return fitted(d, size);
}

QByteArray frameId(std::size_t stream, const QByteArray &type)
{
    QByteArray id = QByteArray::number(qulonglong(stream)).rightJustified(2, '0');
    return id + (type == "auds" ? "wb" : "dc");
}

void writeMovi(RiffBuilder &b, const AviLayout &layout, qint64 hole)
{
    auto movi = b.list("LIST", "movi");
    for (int f = 0; f < layout.frames; ++f) {
        for (std::size_t s = 0; s < layout.streams.size(); ++s) {
            const QByteArray payload(layout.oddChunks ? 17 : 16, char(0x1F + f));
            b.leaf(frameId(s, layout.streams[s].type).constData(), payload);
        }
    }
    if (layout.odml && !layout.streams.empty()) {
        const int size = 24 + 8 * layout.frames;
        b.leaf("ix00", indexChunk(1, 2, quint32(layout.frames), "00dc", size));
    }
    b.skip(hole);
}

} // namespace

std::vector<BuiltStream> writeAviForm(RiffBuilder &b, const AviLayout &layout, qint64 moviHole)
{
    std::vector<BuiltStream> streams;
    auto form = b.list("RIFF", fitted(layout.formType, 4).constData());
    {
        auto hdrl = b.list("LIST", "hdrl");
        b.leaf("avih", mainHeader(layout));
        if (layout.oddChunks)
            b.leaf("JUNK", QByteArray(3, 'j'));
        for (const StreamLayout &s : layout.streams) {
            BuiltStream built;
            auto strl = b.list("LIST", "strl");
            built.strhData = b.pos() + 8;
            b.leaf("strh", streamHeader(s, layout.frames));
            switch (s.format) {
            case StreamLayout::Format::None:
                break;
            case StreamLayout::Format::Bitmap:
                built.strfData = b.pos() + 8;
                b.leaf("strf", bitmapInfo(s));
                break;
            case StreamLayout::Format::BitmapDvInfo:
                built.strfData = b.pos() + 8;
                b.leaf("strf", bitmapInfo(s) + dvInfo());
                break;
            case StreamLayout::Format::Wave:
                built.strfData = b.pos() + 8;
                b.leaf("strf", waveFormat());
                break;
            case StreamLayout::Format::DvInfo:
                built.strfData = b.pos() + 8;
                b.leaf("strf", dvInfo());
                break;
            }
            if (s.indxSize > 0)
                b.leaf("indx", indexChunk(0, 4, 1, "00dc", s.indxSize));
            if (layout.oddChunks)
                b.leaf("strn", QByteArray("cam1\0", 5));
            streams.push_back(built);
        }
        if (layout.odml) {
            auto odml = b.list("LIST", "odml");
            b.leaf("dmlh", fitted(bytesLE32(quint32(layout.frames * (1 + layout.avixForms))), 248));
        }
    }
    if (layout.oddChunks)
        b.leaf("JUNK", QByteArray(5, 'k'));
    writeMovi(b, layout, moviHole);
    if (layout.idx1) {
        QByteArray entries;
        for (int f = 0; f < layout.frames * int(layout.streams.size()); ++f)
            entries += QByteArray("00dc") + bytesLE32(0x10) + bytesLE32(quint32(4 + f * 24)) +
                       bytesLE32(16);
        b.leaf("idx1", entries);
    }
    return streams;
}

BuiltAvi buildAvi(const AviLayout &layout)
{
    BuiltAvi built;
    QBuffer buffer(&built.bytes);
    buffer.open(QIODevice::ReadWrite);
    RiffBuilder b(buffer);
    built.streams = writeAviForm(b, layout);
    for (const BuiltChunk &c : b.chunks()) {
        if (c.listType == "hdrl") {
            built.hdrlEnd = c.end;
            break;
        }
    }
    built.firstFormEnd = b.pos();
    for (int i = 0; i < layout.avixForms; ++i) {
        auto form = b.list("RIFF", "AVIX");
        writeMovi(b, layout, 0);
    }
    built.chunks = b.chunks();
    return built;
}

AviLayout dvType1Layout()
{
    AviLayout layout;
    StreamLayout iavs;
    iavs.type = "iavs";
    iavs.format = StreamLayout::Format::DvInfo;
    layout.streams = {iavs};
    return layout;
}

AviLayout dvType2Layout(bool dvInfo)
{
    AviLayout layout;
    StreamLayout vids;
    vids.format = dvInfo ? StreamLayout::Format::BitmapDvInfo : StreamLayout::Format::Bitmap;
    StreamLayout auds;
    auds.type = "auds";
    auds.handler = QByteArray(4, '\0');
    auds.format = StreamLayout::Format::Wave;
    auds.scale = 1;
    auds.rate = 48000;
    layout.streams = {vids, auds};
    return layout;
}

AviLayout openDmlLayout()
{
    AviLayout layout = dvType2Layout();
    layout.odml = true;
    layout.avixForms = 1;
    for (StreamLayout &s : layout.streams)
        s.indxSize = 24 + 16 * 4;
    return layout;
}

SparseAvi writeSparseAvi(const QString &path)
{
    SparseAvi sparse;
    AviLayout audioOnly = dvType2Layout();
    audioOnly.streams.erase(audioOnly.streams.begin());
    audioOnly.idx1 = false;

    // The first form's size without a hole tells how large the hole must be
    // for the form to end just below 4 GiB.
    const qint64 plainSize = buildAvi(audioOnly).bytes.size();
    const qint64 formData = 0xFFFFFFF0;
    const qint64 hole = formData + 8 - plainSize;

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ADD_FAILURE() << "cannot create " << path.toStdString();
        return sparse;
    }
    RiffBuilder b(file);
    writeAviForm(b, audioOnly, hole);
    {
        auto across = b.list("RIFF", "AVIX");
        auto movi = b.list("LIST", "movi");
        b.skip(0x100);
    }
    AviLayout video = dvType2Layout();
    video.formType = "AVIX";
    video.streams.pop_back();
    video.idx1 = false;
    sparse.lastFormOffset = b.pos();
    const auto streams = writeAviForm(b, video);
    sparse.video = streams.front();
    b.finish();
    sparse.size = b.pos();
    return sparse;
}

} // namespace vidora::test
