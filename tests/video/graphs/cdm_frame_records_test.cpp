// Each frame's DV information in the re-encoding graphs of the processing
// module: on a tape joined from two recordings with their own dates and a
// time code that advances with every frame, each output frame's burnt-in text
// and copied packs are those of its own source frame, and common readers
// (mediainfo, ffprobe) find the source's recording date and time code in the
// output as they do in the source.
#include "support/cdm_stage.h"

#include "formats/dvcodes.h"
#include "support/avi_files.h"
#include "support/dvframe.h"
#include "support/tools.h"
#include "video/filters/dv_superposer.h"

#include <span>

// Readable failure messages for Qt strings.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace vidora::test {
namespace {

constexpr int kClipFrames = 5; // frames of each of the two recordings
constexpr int kFrames = 2 * kClipFrames;

int FrameBytes(bool ntsc)
{
    return ntsc ? kNtscFrame : kPalFrame;
}

int Sequences(bool ntsc)
{
    return ntsc ? 10 : 12;
}

std::span<const std::uint8_t> Bytes(const QByteArray &frame)
{
    return {reinterpret_cast<const std::uint8_t *>(frame.constData()), std::size_t(frame.size())};
}

std::vector<QByteArray> Split(const QByteArray &raw, bool ntsc)
{
    std::vector<QByteArray> frames;
    const int size = FrameBytes(ntsc);
    for (qsizetype at = 0; at + size <= raw.size(); at += size)
        frames.push_back(raw.mid(at, size));
    return frames;
}

// The DV frames of a file's video stream, as ffmpeg copies them out.
std::vector<QByteArray> DvFramesOf(const QString &path, bool ntsc)
{
    const ToolResult r = runTool(
        "ffmpeg", {"-v", "error", "-i", path, "-map", "0:v", "-c", "copy", "-f", "rawvideo", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return Split(r.out, ntsc);
}

// Offsets of the pack slots of one DIF sequence, by the DV layout: the six
// subcode packs of blocks 1 and 2 (after the 3-byte block ID and the 3-byte
// sync block ID of each 8-byte sync block), the fifteen VAUX packs of blocks
// 3 to 5.
std::vector<int> SubcodeOffsets()
{
    std::vector<int> at;
    for (int b = 1; b <= 2; ++b)
        for (int k = 0; k < 6; ++k)
            at.push_back(b * 80 + 3 + 8 * k + 3);
    return at;
}

int VauxOffset(int block, int slot) // block 3–5, slot 0–14
{
    return block * 80 + 3 + 5 * slot;
}

void SetPack(QByteArray &frame, int at, const DvPackBytes &pack)
{
    for (int i = 0; i < 5; ++i)
        frame[at + i] = char(pack[std::size_t(i)]);
}

// ffmpeg's frames made to look like a camcorder's: every time code pack says
// `timecodeFrame` (the recording advances frame by frame), and the VAUX holds
// only the main area: 0x60 to 0x63 in block 5 from slot 9 in the even
// sequences, in block 3 from slot 0 in the odd ones.
void AsCamcorderFrame(QByteArray &frame, bool ntsc, int timecodeFrame)
{
    const DvPackBytes timecode = timecodePack(1, 2, 3, timecodeFrame);
    for (int s = 0; s < Sequences(ntsc); ++s) {
        const int seq = s * 12000;
        for (const int at : SubcodeOffsets())
            if (std::uint8_t(frame[seq + at]) == 0x13)
                SetPack(frame, seq + at, timecode);
        const int mainBlock = s % 2 == 0 ? 5 : 3;
        const int mainSlot = s % 2 == 0 ? 9 : 0;
        QByteArray main;
        for (int k = 0; k < 4; ++k) {
            // ffmpeg writes 0x60 to 0x63 in slots 0 to 3 of every VAUX block.
            main += frame.mid(seq + VauxOffset(3, k), 5);
        }
        for (int b = 3; b <= 5; ++b)
            for (int k = 0; k < 15; ++k)
                frame.replace(seq + VauxOffset(b, k), 5, QByteArray(5, char(0xFF)));
        frame.replace(seq + VauxOffset(mainBlock, mainSlot), 20, main);
    }
}

std::string Codes(const QByteArray &frame, bool ntsc)
{
    TDvTimecode tc;
    TDvRecDateTime dt;
    const bool hasTc = ReadDvTimecode(Bytes(frame), Sequences(ntsc), tc);
    const bool hasDate = ReadDvRecDateTime(Bytes(frame), Sequences(ntsc), dt);
    QString text = hasTc ? QString::asprintf("%02d:%02d:%02d:%02d", tc.Hours, tc.Minutes,
                                             tc.Seconds, tc.Frames)
                         : QString("no time code");
    text += hasDate ? QString::asprintf(" %04d-%02d-%02d %02d:%02d:%02d", dt.Year, dt.Month, dt.Day,
                                        dt.Hour, dt.Minute, dt.Second)
                    : QString(" no date");
    return text.toStdString();
}

// The video DIF blocks of a frame (section type 4), the picture the encoder
// made.
QByteArray VideoBlocks(const QByteArray &frame)
{
    QByteArray video;
    for (qsizetype at = 0; at + 80 <= frame.size(); at += 80)
        if ((std::uint8_t(frame[at]) >> 5) == 4)
            video += frame.mid(at, 80);
    return video;
}

QString RecordedDate(const QString &path)
{
    return QString::fromUtf8(runTool("mediainfo", {"--Inform=General;%Recorded_Date%", path}).out)
        .trimmed();
}

QString RawDvTimecode(const QString &path)
{
    const ToolResult r = runTool("ffprobe", {"-v", "error", "-show_entries", "format_tags=timecode",
                                             "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed();
}

enum class Graph {
    OverlayType1,
    OverlayType2,
    Standard
};

struct Case
{
    const char *name;
    Graph graph;
    bool ntsc; // the source's standard
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class CdmFrameRecords : public CdmStage, public testing::WithParamInterface<Case>
{
protected:
    // Two recordings joined: five frames from 2005-06-07 08:09:10, five from
    // 2009-01-02 03:04:05, the time code 01:02:03:04 onwards across both.
    std::vector<QByteArray> MakeTape(bool ntsc)
    {
        std::vector<QByteArray> frames;
        const QString starts[] = {"2005-06-07T08:09:10Z", "2009-01-02T03:04:05Z"};
        for (int clip = 0; clip < 2; ++clip) {
            const QByteArray raw = makeRawDv(m_dir.path(), kClipFrames + 1, ntsc, starts[clip],
                                             QString("clip%1.dv").arg(clip));
            std::vector<QByteArray> clipFrames = Split(raw, ntsc);
            EXPECT_GE(int(clipFrames.size()), kClipFrames);
            clipFrames.resize(kClipFrames);
            for (QByteArray &frame : clipFrames) {
                AsCamcorderFrame(frame, ntsc, 4 + int(frames.size()));
                frames.push_back(frame);
            }
        }
        return frames;
    }

    QString WriteType1(const std::vector<QByteArray> &frames, const QString &name)
    {
        QByteArray raw;
        for (const QByteArray &frame : frames)
            raw += frame;
        writeFileBytes(Path(name), dvType1Avi(raw));
        return Path(name);
    }

    QString WriteRaw(const std::vector<QByteArray> &frames, const QString &name)
    {
        QByteArray raw;
        for (const QByteArray &frame : frames)
            raw += frame;
        writeFileBytes(Path(name), raw);
        return Path(name);
    }

    // Runs the case's graph from `in` to `out`, the text of each frame its
    // time code and recording date, the source's packs copied.
    bool Run(const Case &c, const QString &in, const QString &out)
    {
        outputFor = [out](const QString &) { return out; };
        afterBuild = [c](TCdm &m) {
            SetHandlerOptions(m, 0.0, true, false, false);
            if (c.graph == Graph::Standard)
                return;
            TincrustRec options;
            options.Line1 = QStringLiteral("%T");
            options.Line2 = QStringLiteral("%D1 %D2");
            options.When = 0; // every frame
            options.Font.Size = 28;
            m.Superposer().SetOptions(options);
            m.Superposer().SetPosition(500, 800, 1);
            m.Superposer().SetOverlayOn(true);
        };
        return RunCommand(in, [c](TCdm &m, const QString &s, const QString &o) {
            switch (c.graph) {
            case Graph::OverlayType1:
                return m.BuildOverlayGraphType1(s, o, c.ntsc);
            case Graph::OverlayType2:
                return m.BuildOverlayGraphType2(s, o, c.ntsc);
            case Graph::Standard:
                break;
            }
            return m.BuildStandardGraphType1(s, o, !c.ntsc);
        });
    }
};

// The source frame whose picture output frame n shows: the encoder gives each
// output frame the picture whose time range holds the frame's start.
int SourceFrameOf(int n, bool fromNtsc, bool toNtsc)
{
    if (fromNtsc == toNtsc)
        return n;
    // Frame durations in 1/30000 s: 1200 at 25 per second, 1001 at 30000/1001.
    const int target = toNtsc ? 1001 : 1200;
    const int source = fromNtsc ? 1001 : 1200;
    return n * target / source;
}

TEST_P(CdmFrameRecords, EveryFrameKeepsItsOwnDateAndTimeCode)
{
    const Case c = GetParam();
    const bool toNtsc = c.graph == Graph::Standard ? !c.ntsc : c.ntsc;
    const std::vector<QByteArray> tape = MakeTape(c.ntsc);
    ASSERT_EQ(int(tape.size()), kFrames);
    const QString rawSource = WriteRaw(tape, "tape.dv");
    QString in = WriteType1(tape, "tape.avi");
    if (c.graph == Graph::OverlayType2) {
        in = Path("tape2.avi");
        ASSERT_TRUE(makeType2Avi(rawSource, in));
    }
    const QString out = Path("out.avi");
    ASSERT_TRUE(Run(c, in, out));
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    const std::vector<QByteArray> frames = DvFramesOf(out, toNtsc);
    ASSERT_GE(int(frames.size()), kFrames - 1);
    for (int n = 0; n < int(frames.size()); ++n) {
        SCOPED_TRACE(n);
        const int k = SourceFrameOf(n, c.ntsc, toNtsc);
        ASSERT_LT(k, kFrames);
        // Across standards the time code's frame field is scaled to the
        // target's rate.
        QByteArray expected = tape[std::size_t(k)];
        if (toNtsc != c.ntsc) {
            const int sourceRate = c.ntsc ? 30 : 25;
            const int targetRate = toNtsc ? 30 : 25;
            for (int s = 0; s < Sequences(c.ntsc); ++s)
                for (const int at : SubcodeOffsets())
                    if (std::uint8_t(expected[s * 12000 + at]) == 0x13)
                        SetPack(expected, s * 12000 + at,
                                timecodePack(1, 2, 3, (4 + k) * targetRate / sourceRate));
        }
        EXPECT_EQ(Codes(frames[std::size_t(n)], toNtsc), Codes(expected, c.ntsc));
    }

    // The readers find the source's first date and time code.
    EXPECT_EQ(RecordedDate(rawSource), "2005-06-07 08:09:10.000");
    EXPECT_EQ(RecordedDate(out), RecordedDate(rawSource));
    QByteArray outRaw;
    for (const QByteArray &frame : frames)
        outRaw += frame;
    writeFileBytes(Path("out.dv"), outRaw);
    const QString timecode = RawDvTimecode(rawSource);
    EXPECT_EQ(timecode, "01:02:03:04");
    EXPECT_EQ(RawDvTimecode(Path("out.dv")),
              toNtsc == c.ntsc ? timecode : QString(c.ntsc ? "01:02:03:03" : "01:02:03:04"));
}

INSTANTIATE_TEST_SUITE_P(Graphs, CdmFrameRecords,
                         testing::Values(Case{"OverlayType1Pal", Graph::OverlayType1, false},
                                         Case{"OverlayType1Ntsc", Graph::OverlayType1, true},
                                         Case{"OverlayType2Pal", Graph::OverlayType2, false},
                                         Case{"PalToNtsc", Graph::Standard, false},
                                         Case{"NtscToPal", Graph::Standard, true}),
                         [](const testing::TestParamInfo<Case> &caseInfo) {
                             return std::string(caseInfo.param.name);
                         });

class CdmFrameTexts : public CdmFrameRecords
{};

// The text burnt into each frame is its own: every output frame's picture is
// the one the same graph makes from that source frame alone (the DV encoder
// codes each frame on its own, so the pictures match to the byte).
TEST_P(CdmFrameTexts, EveryFrameShowsItsOwnTimeCodeAndDate)
{
    const Case c = GetParam();
    const std::vector<QByteArray> tape = MakeTape(c.ntsc);
    ASSERT_EQ(int(tape.size()), kFrames);
    ASSERT_TRUE(Run(c, WriteType1(tape, "tape.avi"), Path("out.avi")));
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    const std::vector<QByteArray> frames = DvFramesOf(Path("out.avi"), c.ntsc);
    ASSERT_EQ(int(frames.size()), kFrames);

    for (int k = 0; k < kFrames; ++k) {
        SCOPED_TRACE(k);
        const QString alone = Path(QString("alone%1.avi").arg(k));
        ASSERT_TRUE(Run(c, WriteType1({tape[std::size_t(k)]}, "one.avi"), alone));
        const std::vector<QByteArray> reference = DvFramesOf(alone, c.ntsc);
        ASSERT_EQ(reference.size(), 1u);
        EXPECT_TRUE(VideoBlocks(frames[std::size_t(k)]) == VideoBlocks(reference[0]))
            << "the picture of frame " << k << " is not its own";
        // And not merely alike: the next frame's text differs.
        if (k > 0) {
            EXPECT_FALSE(VideoBlocks(frames[std::size_t(k - 1)]) == VideoBlocks(reference[0]));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Graphs, CdmFrameTexts,
                         testing::Values(Case{"OverlayType1Pal", Graph::OverlayType1, false},
                                         Case{"OverlayType1Ntsc", Graph::OverlayType1, true}),
                         [](const testing::TestParamInfo<Case> &caseInfo) {
                             return std::string(caseInfo.param.name);
                         });

} // namespace
} // namespace vidora::test
