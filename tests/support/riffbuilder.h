#pragma once

// RIFF and AVI fixtures: a builder with a scoped chunk writer, and AVI files
// of the kinds DV cameras and muxers make (type 1, type 2, OpenDML with AVIX
// forms) plus the broken ones the readers must survive. Frame payloads are
// short dummy bytes: the readers under test only look at headers.
#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <optional>
#include <vector>

namespace vidora::test {

// One chunk the builder wrote, for tests that cut or mutate a file at chunk
// boundaries.
struct BuiltChunk
{
    QByteArray id;
    QByteArray listType; // empty for a plain chunk
    qint64 headerOffset = 0;
    qint64 dataOffset = 0;
    qint64 end = 0; // after the pad byte
    int depth = 0;
};

class RiffBuilder
{
public:
    // Writes from the device's current position; the device stays the caller's.
    explicit RiffBuilder(QIODevice &out);

    // An open chunk: the header is written with a placeholder size; closing
    // (or destruction) back-patches the size and pads the data to even.
    class Scope
    {
    public:
        Scope(Scope &&other) noexcept;
        Scope &operator=(Scope &&) = delete;
        ~Scope();

        void close();
        // Writes this size on close instead of the measured one (a broken chunk).
        void declareSize(quint32 size) { m_declared = size; }
        qint64 headerOffset() const;
        qint64 dataOffset() const;

    private:
        friend class RiffBuilder;
        Scope(RiffBuilder *builder, std::size_t record);

        RiffBuilder *m_builder;
        std::size_t m_record;
        std::optional<quint32> m_declared;
    };

    [[nodiscard]] Scope chunk(const char *id);
    // A "RIFF" or "LIST" chunk with its list type.
    [[nodiscard]] Scope list(const char *id, const char *type);
    // A whole chunk with the given data.
    void leaf(const char *id, const QByteArray &data);

    void bytes(const QByteArray &data);
    void u16(quint16 value);
    void u32(quint32 value);
    void fourcc(const char *code);
    void zeros(qint64 count);
    // Moves forward without writing: in a file, a hole that takes no disk.
    void skip(qint64 count);
    // Makes the device as long as the last position (after a trailing skip).
    void finish();

    qint64 pos() const { return m_out.pos(); }
    const std::vector<BuiltChunk> &chunks() const { return m_chunks; }

private:
    QIODevice &m_out;
    std::vector<BuiltChunk> m_chunks;
    int m_depth = 0;
};

// One AVI stream: its "strl" list holds "strh", "strf" and optionally "indx".
struct StreamLayout
{
    enum class Format {
        None,         // no "strf"
        Bitmap,       // BITMAPINFOHEADER (40 bytes)
        BitmapDvInfo, // BITMAPINFOHEADER + DVINFO (72 bytes)
        Wave,         // WAVEFORMATEX (18 bytes)
        DvInfo,       // DVINFO (32 bytes), as in type 1
    };

    QByteArray type = "vids";
    QByteArray handler = "dvsd";
    Format format = Format::BitmapDvInfo;
    QByteArray compression = "dvsd";
    int strhSize = 56;
    int indxSize = 0; // data bytes of an "indx" super index; 0 for none
    quint32 scale = 1;
    quint32 rate = 25;
};

struct AviLayout
{
    QByteArray formType = "AVI ";
    std::vector<StreamLayout> streams;
    bool odml = false;      // "LIST" "odml" with a 248-byte "dmlh", an "ix00" in every "movi"
    int frames = 2;         // frames in every "movi"
    int avixForms = 0;      // "RIFF" "AVIX" forms after the first
    bool idx1 = true;       // an "idx1" after the first "movi"
    bool oddChunks = false; // odd-sized "JUNK" and "strn" chunks and odd-sized frames
};

// Data offsets of one stream's chunks; -1 when absent.
struct BuiltStream
{
    qint64 strhData = -1;
    qint64 strfData = -1;
};

struct BuiltAvi
{
    QByteArray bytes;
    std::vector<BuiltChunk> chunks;
    std::vector<BuiltStream> streams;
    qint64 firstFormEnd = 0; // end of the first "RIFF" form
    qint64 hdrlEnd = 0;      // end of the first "hdrl" list
};

// Writes one RIFF form with its header list and a "movi" list; a non-zero
// `moviHole` adds that many unwritten bytes to the "movi" list.
std::vector<BuiltStream> writeAviForm(RiffBuilder &builder, const AviLayout &layout,
                                      qint64 moviHole = 0);
BuiltAvi buildAvi(const AviLayout &layout);

// A DV type-1 file: one "iavs" stream with handler "dvsd" and a DVINFO format.
AviLayout dvType1Layout();
// A DV type-2 file: "vids" "dvsd" (BITMAPINFOHEADER, + DVINFO when asked) and
// "auds" PCM.
AviLayout dvType2Layout(bool dvInfo = true);
// Type 2 with an OpenDML header, super indexes and one "AVIX" form.
AviLayout openDmlLayout();

// A sparse file past 4 GiB: an "AVI " form with an audio stream only and a
// "movi" list that takes it almost to 4 GiB, an "AVIX" form across the 4 GiB
// mark, then an "AVIX" form past it whose header list holds the only video
// stream ("vids" "dvsd"). The file is large but takes little disk.
struct SparseAvi
{
    qint64 size = 0;
    qint64 lastFormOffset = 0;
    BuiltStream video;
};
SparseAvi writeSparseAvi(const QString &path);

} // namespace vidora::test
