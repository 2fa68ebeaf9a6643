// Damaged files through everything that reads them: a few hundred mutants of
// a DV type 1, a type 2, an OpenDML and a raw DV file (flipped bytes, chunk
// sizes of 0 or huge, chunks duplicated or removed, index entries outside
// the file or at the wrong chunk, format fields at the ends of their range,
// damaged DIF blocks and packs), each read by the header parser and the list
// entry's probe, then run through the scenes-by-date graph and a conversion
// as commands. Nothing may crash or hang, and no run may end in a silent
// nothing: a command either ends with its output, whose every video frame
// ffmpeg reads back as the data of a chunk of the source, or reports its
// error and leaves no output. The mutants come from a fixed seed: a failure
// names the case that reproduces it.
#include "support/cdm_stage.h"

#include "files/avifichier.h"
#include "formats/aviinfo.h"
#include "support/avi_files.h"
#include "support/lebytes.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <set>

namespace vidora::test {
namespace {

using namespace std::chrono_literals;

// One chunk of a file as a plain walk finds it.
struct Node
{
    qint64 header = 0;
    QByteArray id;
    QByteArray listType;
    quint32 size = 0;
    int depth = 0;
};

void walk(const QByteArray &b, qint64 begin, qint64 end, int depth, std::vector<Node> &out)
{
    qint64 at = begin;
    while (at + 8 <= end && out.size() < 10000) {
        Node n{at, b.mid(at, 4), {}, le32At(b, at + 4), depth};
        const bool list = (n.id == "RIFF" || n.id == "LIST") && n.size >= 4 && at + 12 <= end;
        if (list)
            n.listType = b.mid(at + 8, 4);
        out.push_back(n);
        if (list && depth < 4)
            walk(b, at + 12, std::min<qint64>(end, at + 8 + n.size), depth + 1, out);
        at += 8 + qint64(n.size) + (n.size & 1);
    }
}

std::vector<Node> chunksOf(const QByteArray &bytes)
{
    std::vector<Node> nodes;
    walk(bytes, 0, bytes.size(), 0, nodes);
    return nodes;
}

// Lists that hold `position` grow or shrink by `delta` bytes.
void resizeParents(QByteArray &bytes, const std::vector<Node> &nodes, qint64 position, qint64 delta)
{
    for (const Node &n : nodes)
        if (!n.listType.isEmpty() && n.header < position && position <= n.header + 8 + n.size)
            putLe(bytes, n.header + 4, quint64(qint64(n.size) + delta), 4);
}

// The md5 of the data of every chunk-like run of the bytes ("##dc"/"##db"
// and a size that fits): what a frame read from the file may be.
std::set<QByteArray> chunkData(const QByteArray &b)
{
    std::set<QByteArray> sums;
    for (qint64 p = 0; p + 8 <= b.size(); ++p) {
        const char *c = b.constData() + p;
        if (!std::isdigit(uchar(c[0])) || !std::isdigit(uchar(c[1])) || c[2] != 'd' ||
            (c[3] != 'c' && c[3] != 'b'))
            continue;
        const quint32 size = le32At(b, p + 4);
        if (p + 8 + qint64(size) <= b.size())
            sums.insert(
                QCryptographicHash::hash(b.mid(p + 8, size), QCryptographicHash::Md5).toHex());
    }
    return sums;
}

// What ffmpeg reads in a file: how many packets, whether there is a video
// stream, and the md5 of every video packet.
struct Packets
{
    int count = 0;
    bool video = false;
    std::vector<QByteArray> videoSums;
};

Packets parseFrameMd5(const QByteArray &text)
{
    Packets packets;
    std::set<QByteArray> videoStreams;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("#media_type") && line.trimmed().endsWith("video")) {
            videoStreams.insert(line.split(' ').value(1).chopped(1));
            packets.video = true;
        }
        if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        ++packets.count;
        const QList<QByteArray> fields = line.split(',');
        if (videoStreams.count(fields.first().trimmed()))
            packets.videoSums.push_back(fields.last().trimmed());
    }
    return packets;
}

// The packets of each file, read by one ffmpeg run (starting ffmpeg for each
// file would take most of the test's time); a file ffmpeg cannot read is
// found by reading the files one by one and has no packets.
std::vector<std::optional<Packets>> packetsOf(const QStringList &paths)
{
    const auto run = [](const QStringList &files) {
        QStringList args{"-v", "error"};
        for (const QString &f : files)
            args << "-i" << f;
        for (int i = 0; i < files.size(); ++i)
            args << "-map" << QString::number(i) << "-c"
                 << "copy"
                 << "-f"
                 << "framemd5" << files[i] + ".md5";
        return runTool("ffmpeg", args).exitCode == 0;
    };
    std::vector<std::optional<Packets>> result(std::size_t(paths.size()));
    const bool all = run(paths);
    for (int i = 0; i < paths.size(); ++i)
        if (all || run({paths[i]}))
            result[std::size_t(i)] = parseFrameMd5(readFileBytes(paths[i] + ".md5"));
    return result;
}

// A deterministic source of choices (std::mt19937's sequence is fixed by the
// standard; the distributions are not, so none is used).
class Choices
{
public:
    explicit Choices(std::uint32_t seed) : m_engine(seed) {}
    std::uint32_t below(std::uint64_t n) { return n == 0 ? 0 : std::uint32_t(m_engine() % n); }
    template <class T>
    const T &among(const std::vector<T> &values)
    {
        return values[below(values.size())];
    }

private:
    std::mt19937 m_engine;
};

const std::vector<quint64> kExtremes = {
    0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0};

struct Mutant
{
    std::string what;
    QByteArray bytes;
};

// One mutation of an AVI file, chosen by `choices`.
Mutant mutateAvi(const QByteArray &base, Choices &choices)
{
    QByteArray b = base;
    const std::vector<Node> nodes = chunksOf(b);
    std::vector<Node> inner; // every chunk but the forms
    for (const Node &n : nodes)
        if (n.depth > 0)
            inner.push_back(n);
    const auto chunkNamed = [&](const char *id) {
        std::vector<Node> found;
        for (const Node &n : nodes)
            if (n.id == id || (QByteArray(id) == "ix" && n.id.startsWith("ix")))
                found.push_back(n);
        return found;
    };
    qint64 headersEnd = 0;
    for (const Node &n : nodes)
        if (n.listType == "movi") {
            headersEnd = n.header;
            break;
        }
    const std::uint32_t kind = choices.below(12);
    std::string what;
    switch (kind) {
    case 0:
    case 1: { // a flipped byte: in the headers, or anywhere
        const qint64 span = kind == 0 && headersEnd > 0 ? headersEnd + 64 : b.size();
        const qint64 at = choices.below(quint64(std::min<qint64>(span, b.size())));
        const char mask = char(1 + choices.below(255));
        b[at] = char(b[at] ^ mask);
        what = "byte " + std::to_string(at) + " ^ " + std::to_string(uchar(mask));
        break;
    }
    case 2: { // a chunk size that lies
        const Node &n = choices.among(nodes);
        const std::vector<quint64> sizes = {0,          1,          n.size + 1ull,
                                            n.size - 1, n.size * 2, 0x7FFFFFFF,
                                            0x80000000, 0xFFFFFFFF, 0xFFFFFFF8};
        const quint64 size = choices.among(sizes);
        putLe(b, n.header + 4, size, 4);
        what = "size of " + n.id.toStdString() + " at " + std::to_string(n.header) + " = " +
               std::to_string(quint32(size));
        break;
    }
    case 3:
    case 4: { // a chunk duplicated or removed, its lists resized or not
        if (inner.empty())
            break;
        const Node &n = choices.among(inner);
        const qint64 length =
            std::min<qint64>(8 + qint64(n.size) + (n.size & 1), b.size() - n.header);
        const bool fix = choices.below(2) == 1;
        if (kind == 3) {
            b.insert(n.header + length, b.mid(n.header, length));
            if (fix)
                resizeParents(b, nodes, n.header + length, length);
        } else {
            b.remove(n.header, length);
            if (fix)
                resizeParents(b, nodes, n.header, -length);
        }
        what = std::string(kind == 3 ? "duplicated " : "removed ") + n.id.toStdString() + " at " +
               std::to_string(n.header) + (fix ? " (lists resized)" : "");
        break;
    }
    case 5:
    case 6: { // an "idx1" or "ix##" entry outside the file or at the wrong chunk
        const bool standard = kind == 6 && !chunkNamed("ix").empty();
        const auto indexes = chunkNamed(standard ? "ix" : "idx1");
        if (indexes.empty())
            break;
        const Node &index = choices.among(indexes);
        const qint64 first = index.header + 8 + (standard ? 24 : 0);
        const qint64 step = standard ? 8 : 16;
        const qint64 count = (qint64(index.size) - (standard ? 24 : 0)) / step;
        if (count <= 0 || first + count * step > b.size())
            break;
        const qint64 entry = first + choices.below(quint64(count)) * step;
        const qint64 offsetField = entry + (standard ? 0 : 8);
        const qint64 sizeField = entry + (standard ? 4 : 12);
        const quint32 offset = le32At(b, offsetField);
        const quint32 other =
            le32At(b, first + choices.below(quint64(count)) * step + (standard ? 0 : 8));
        const std::vector<std::pair<const char *, quint64>> changes = {
            {"offset past the end", 0x7FFFFFF0}, {"offset at the file's end", quint64(b.size())},
            {"offset of another entry", other},  {"offset 8 early", offset - 8},
            {"offset 4 late", offset + 4},       {"size 0", 0},
            {"size huge", 0x7FFFFFF0},
        };
        const auto &[name, value] = choices.among(changes);
        putLe(b, QByteArray(name).startsWith("size") ? sizeField : offsetField, value, 4);
        what = std::string(standard ? "ix## " : "idx1 ") + name + " at " + std::to_string(entry);
        break;
    }
    case 7:
    case 8:
    case 9: { // a field of "strf", "strh", "avih" or "indx" at an extreme
        const char *ids[] = {"strf", "strf", "strh", "avih", "indx"};
        const auto found = chunkNamed(ids[choices.below(5)]);
        if (found.empty())
            break;
        const Node &n = choices.among(found);
        const qint64 span = std::min<qint64>(n.size, 56);
        if (span < 2)
            break;
        const int width = choices.below(2) == 0 ? 2 : 4;
        const qint64 at = n.header + 8 + qint64(choices.below(quint64(span / 2))) * 2;
        const quint64 value = choices.among(kExtremes);
        putLe(b, at, value, width);
        what = n.id.toStdString() + " field +" + std::to_string(at - n.header - 8) + " = " +
               std::to_string(value) + " (" + std::to_string(width) + " bytes)";
        break;
    }
    case 10: { // cut short
        const qint64 at = choices.below(quint64(b.size()));
        b.truncate(at);
        what = "cut at " + std::to_string(at);
        break;
    }
    case 11: { // a recording stopped short: zeros from a point in "movi" on
        const qint64 from = headersEnd + choices.below(quint64(b.size() - headersEnd));
        b.replace(from, b.size() - from, QByteArray(b.size() - from, '\0'));
        what = "zeros from " + std::to_string(from);
        break;
    }
    }
    if (what.empty())
        what = "unchanged";
    return {what, b};
}

// One mutation of raw DV frames (PAL, 144000 bytes each).
Mutant mutateDv(const QByteArray &raw, Choices &choices)
{
    constexpr int kBlock = 80;
    constexpr int kSequence = 150 * kBlock;
    QByteArray b = raw;
    const int frames = int(raw.size() / kPalFrame);
    const qint64 frame = qint64(choices.below(quint64(frames))) * kPalFrame;
    const qint64 sequence = frame + qint64(choices.below(12)) * kSequence;
    std::string what;
    switch (choices.below(6)) {
    case 0: { // a flipped byte
        const qint64 at = frame + choices.below(kPalFrame);
        b[at] = char(b[at] ^ char(1 + choices.below(255)));
        what = "byte " + std::to_string(at);
        break;
    }
    case 1: { // the identifier of a DIF block
        const qint64 at = sequence + qint64(choices.below(150)) * kBlock;
        putLe(b, at, choices.below(0x1000000), 3);
        what = "block id at " + std::to_string(at);
        break;
    }
    case 2: { // the header block's flags (system, application ids)
        const qint64 at = sequence + 3 + choices.below(5);
        b[at] = char(choices.among(kExtremes));
        what = "header byte at " + std::to_string(at);
        break;
    }
    case 3:
    case 4: { // a VAUX or an AAUX pack at an extreme or random
        const bool vaux = choices.below(2) == 0;
        const qint64 block = vaux ? 3 + choices.below(3) : 6 + 16 * qint64(choices.below(9));
        const qint64 slot = vaux ? choices.below(15) : 0;
        const qint64 at = sequence + block * kBlock + 3 + slot * 5;
        const quint64 value = choices.below(2) ? choices.among(kExtremes) : choices.below(~0u);
        putLe(b, at + 1, value, 4);
        if (choices.below(2))
            b[at] = char(vaux ? 0x60 + choices.below(4) : 0x50 + choices.below(4));
        what = std::string(vaux ? "VAUX" : "AAUX") + " pack at " + std::to_string(at);
        break;
    }
    case 5: { // a sequence of noise
        for (qint64 i = 0; i < kSequence; ++i)
            b[sequence + i] = char(choices.below(256));
        what = "noise sequence at " + std::to_string(sequence);
        break;
    }
    }
    return {what, dvType1Avi(b)};
}

enum class Base {
    Type1,
    Type2,
    OpenDml,
    RawDv
};

class BrokenFiles : public CdmStage, public testing::WithParamInterface<Base>
{
protected:
    BrokenFiles()
    {
        cdm.SetSettings(&settings);
        command.ErrorMessage = QStringLiteral("Failed: %s");
    }

    // The file every mutant of the kind starts from; empty on failure.
    QByteArray BaseFile(Base base)
    {
        const QByteArray raw = makeRawDv(m_dir.path(), base == Base::OpenDml ? 4 : 3);
        if (raw.isEmpty())
            return {};
        m_raw = raw;
        switch (base) {
        case Base::Type1:
        case Base::RawDv:
            return dvType1Avi(raw);
        case Base::Type2:
            if (!makeType2Avi(Path("raw.dv"), Path("base.avi")))
                return {};
            return readFileBytes(Path("base.avi"));
        case Base::OpenDml: {
            // Our own mux, a form for every frame or two.
            if (!makeType2Avi(Path("raw.dv"), Path("plain.avi")))
                return {};
            Rewrap rewrap(Path("plain.avi"), Path("base.avi"), 300 * 1024);
            if (!rewrap.ok || !rewrap.run())
                return {};
            return readFileBytes(Path("base.avi"));
        }
        }
        return {};
    }

    // The conversion that copies the video frames as they are.
    static Builder Conversion(Base base)
    {
        if (base == Base::Type1 || base == Base::RawDv)
            return [](TCdm &c, const QString &s, const QString &o) {
                return c.BuildToType2Graph(s, o);
            };
        return
            [](TCdm &c, const QString &s, const QString &o) { return c.BuildFixType2Graph(s, o); };
    }

    std::size_t ErrorCount() const { return Errors().size(); }

    // Reads, probes, finds scenes in and converts one file.
    void Check(const Mutant &mutant, Base base)
    {
        SCOPED_TRACE(mutant.what);
        HangGuard guard(60s, mutant.what);
        const QString in = Path("case.avi");
        const QString out = Path("case_out.avi");
        writeFileBytes(in, mutant.bytes);
        QFile::remove(out);

        bool parsed = false;
        EXPECT_NO_THROW(parsed = TFriendlyAviParam(in).Parsed());
        const auto entry = TaviFichier::Create(in, TaviReading{});
        const bool readable = entry->Data().datecodeSort != kDatecodeUnreadable;

        // The scene detection ends, with its scenes or its error.
        ASSERT_TRUE(RunCommand(in, [&](TCdm &c, const QString &s, const QString &) {
            return c.BuildScnByDateGraph(s);
        }));

        const std::size_t beforeConversion = ErrorCount();
        bool built = false;
        outputFor = [out](const QString &) { return out; };
        ASSERT_TRUE(RunCommand(in, [&](TCdm &c, const QString &s, const QString &o) {
            media::IMediaSeeking *seeking = Conversion(base)(c, s, o);
            built = seeking != nullptr;
            return seeking;
        }));
        const bool failed = ErrorCount() > beforeConversion;
        const bool written = QFile::exists(out);
        ++m_outcomes[written ? "written" : built ? "error in the run" : "error, no graph"];
        if (!readable || !parsed)
            ++m_outcomes["listed as unreadable"];
        EXPECT_NE(failed, written) << "a conversion must write its output or report its error";
        if (!written)
            return;
        // Kept for one ffmpeg run over every output of the test.
        const QString kept = Path(QStringLiteral("out_%1.avi").arg(m_written.size()));
        ASSERT_TRUE(QFile::rename(out, kept));
        m_written.push_back({mutant.what, kept, chunkData(mutant.bytes)});
    }

    // Every output ffmpeg reads, with something in it; every video frame of
    // it the data of a chunk of its source.
    void CheckOutputs()
    {
        QStringList paths;
        for (const Written &w : m_written)
            paths << w.path;
        const auto packets = packetsOf(paths);
        for (std::size_t i = 0; i < m_written.size(); ++i) {
            SCOPED_TRACE(m_written[i].what);
            ASSERT_TRUE(packets[i]) << "ffmpeg cannot read the output";
            const Packets &p = *packets[i];
            // A source whose video stream list is destroyed gives its sound only.
            EXPECT_GT(p.count, 0) << "an empty output";
            EXPECT_FALSE(p.video && p.videoSums.empty()) << "a video without a frame";
            for (const QByteArray &sum : p.videoSums)
                EXPECT_TRUE(m_written[i].chunks.count(sum))
                    << "a frame that is no chunk of the source";
        }
    }

    struct Written
    {
        std::string what;
        QString path;
        std::set<QByteArray> chunks; // md5 of the source's chunk data
    };
    std::vector<Written> m_written;
    SettingValues settings;
    QByteArray m_raw;
    std::map<std::string, int> m_outcomes;
};

constexpr int kMutantsPerKind = 64;

TEST_P(BrokenFiles, EveryMutantIsReadOrRefusedWithAnError)
{
    const Base base = GetParam();
    const QByteArray original = BaseFile(base);
    ASSERT_FALSE(original.isEmpty());
    // The unchanged file converts.
    Check({"unchanged", original}, base);
    EXPECT_EQ(m_outcomes["written"], 1);
    if (base == Base::RawDv)
        Check({"raw DV named .avi", m_raw}, base);

    Choices choices(20261210u + std::uint32_t(base));
    for (int i = 0; i < kMutantsPerKind && !HasFatalFailure(); ++i) {
        Mutant m = base == Base::RawDv ? mutateDv(m_raw, choices) : mutateAvi(original, choices);
        m.what = "mutant " + std::to_string(i) + ": " + m.what;
        Check(m, base);
    }
    CheckOutputs();
    std::string outcomes;
    for (const auto &[name, count] : m_outcomes)
        outcomes += name + " " + std::to_string(count) + "; ";
    RecordProperty("outcomes", outcomes);
    std::cout << outcomes << "\n";
}

std::string KindName(const testing::TestParamInfo<Base> &info)
{
    const char *names[] = {"Type1", "Type2", "OpenDml", "RawDv"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Kinds, BrokenFiles,
                         testing::Values(Base::Type1, Base::Type2, Base::OpenDml, Base::RawDv),
                         KindName);

// The widest picture a 32-bit width can give in the list entry: the width,
// and the height it shows for DV, come out with no overflow on the way.
class HugePictures : public CdmStage
{};

TEST_F(HugePictures, AListEntryShowsThemAsTheyAre)
{
    ASSERT_FALSE(makeRawDv(m_dir.path(), 3).isEmpty());
    ASSERT_TRUE(makeType2Avi(Path("raw.dv"), Path("t2.avi")));
    QByteArray bytes = readFileBytes(Path("t2.avi"));
    const qint64 strf = bytes.indexOf("strf") + 8;
    ASSERT_GT(strf, 8);
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    putLe(bytes, strf + 4, quint32(kMax), 4); // biWidth
    putLe(bytes, strf + 8, quint32(-576), 4); // biHeight: top-down rows
    writeFileBytes(Path("huge.avi"), bytes);
    const auto entry = TaviFichier::Create(Path("huge.avi"), TaviReading{});
    const TaviData &d = entry->Data();
    EXPECT_TRUE(d.isDv);
    EXPECT_EQ(d.width, kMax);
    EXPECT_EQ(d.height, std::int32_t(std::int64_t(kMax) * 3 / 4));
    EXPECT_TRUE(d.pictureText.startsWith("2147483647 x -576")) << d.pictureText.toStdString();
}

} // namespace
} // namespace vidora::test
