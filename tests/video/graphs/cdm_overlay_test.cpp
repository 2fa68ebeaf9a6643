// The overlay, time-shift and aspect graphs of the processing module, run
// through the command engine as the program runs them, on generated DV type 1
// and type 2 files, checked with ffmpeg, ffprobe, mediainfo and the pack
// readers.
#include "support/cdm_stage.h"

#include "formats/dvcodes.h"
#include "platform/media/dsfunctions_media.h"
#include "support/avi_files.h"
#include "support/tools.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/convertirdvunit_overlay.h"

#include <QDateTime>

#include <cmath>
#include <cstdlib>
#include <map>

// Readable failure messages for Qt strings.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
static void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '{' << list.join(", ").toStdString() << '}';
}

namespace vidora::test {
namespace {

constexpr int kFrames = 12;

struct Source
{
    bool type2 = false;
    bool ntsc = false;
    int audioStreams = 1; // type 2 only
};

std::string SourceName(const Source &s)
{
    return std::string(s.type2 ? "Type2" : "Type1") + (s.ntsc ? "Ntsc" : "Pal") +
           (s.type2 && s.audioStreams > 1 ? "TwoAudio" : "");
}

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
    return {reinterpret_cast<const std::uint8_t *>(frame.constData()),
            static_cast<std::size_t>(frame.size())};
}

// The DV frames of a file's video stream as ffmpeg copies them out (a type 1
// file's interleaved frames whole, audio blocks included).
std::vector<QByteArray> DvFramesOf(const QString &path, bool ntsc)
{
    const ToolResult r = runTool(
        "ffmpeg", {"-v", "error", "-i", path, "-map", "0:v", "-c", "copy", "-f", "rawvideo", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<QByteArray> frames;
    const int size = FrameBytes(ntsc);
    for (qsizetype at = 0; at + size <= r.out.size(); at += size)
        frames.push_back(r.out.mid(at, size));
    return frames;
}

// Audio stream `index` decoded to 16-bit samples.
QByteArray DecodedAudio(const QString &path, int index)
{
    const ToolResult r = runTool("ffmpeg", {"-v", "error", "-i", path, "-map",
                                            QString("0:a:%1").arg(index), "-f", "s16le", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return r.out;
}

QString RecordedDate(const QString &path)
{
    const ToolResult info = runTool("mediainfo", {"--Inform=General;%Recorded_Date%", path});
    return QString::fromUtf8(info.out).trimmed();
}

QString ProbeVideo(const QString &path, const char *entries)
{
    const ToolResult r =
        runTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                            QString("stream=") + entries, "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed();
}

// The pack positions (PC0 offsets) of a frame holding `pc0` values the
// predicate accepts.
template <class Pred>
std::vector<std::size_t> PackPositions(const QByteArray &frame, bool ntsc, Pred accept)
{
    std::vector<std::size_t> positions;
    for (int seq = 0; seq < Sequences(ntsc); ++seq)
        for (const std::uint16_t offset : DvSequencePackOffsets()) {
            const std::size_t at = std::size_t(seq) * kDvSequenceBytes + offset;
            if (accept(std::uint8_t(frame[qsizetype(at)])))
                positions.push_back(at);
        }
    return positions;
}

// Bytes that differ between two frames of the same size, outside the bytes
// `allowed` says may change (with the bits that may change there).
std::vector<std::size_t> UnexpectedChanges(const QByteArray &before, const QByteArray &after,
                                           const std::map<std::size_t, std::uint8_t> &allowed)
{
    std::vector<std::size_t> changed;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const auto diff = std::uint8_t(before[i] ^ after[i]);
        if (diff == 0)
            continue;
        const auto it = allowed.find(std::size_t(i));
        if (it == allowed.end() || (diff & ~it->second) != 0)
            changed.push_back(std::size_t(i));
    }
    return changed;
}

// The stream types of a file's stream headers ("iavs" for DV type 1, "vids"
// and "auds" for type 2).
QStringList StreamKinds(const QString &path)
{
    const QByteArray all = readFileBytes(path);
    const QByteArray bytes = all.left(all.indexOf("movi"));
    QStringList kinds;
    for (qsizetype at = bytes.indexOf("strh"); at >= 0 && at + 12 <= bytes.size();
         at = bytes.indexOf("strh", at + 4))
        kinds << QString::fromLatin1(bytes.mid(at + 8, 4));
    return kinds;
}

QDateTime AsDateTime(const TDvRecDateTime &d)
{
    return QDateTime(QDate(d.Year, d.Month, d.Day), QTime(d.Hour, d.Minute, d.Second), Qt::UTC);
}

class CdmOverlay : public CdmStage
{
protected:
    // The source file and its raw frames.
    // `calm`: a flat picture in place of the test pattern, which the DV
    // encoder codes at its finest quantiser everywhere.
    QString MakeSource(const Source &s, const QString &name = "tape.avi", bool calm = false)
    {
        raw = calm ? MakeCalmRawDv(s.ntsc) : makeRawDv(m_dir.path(), kFrames, s.ntsc);
        EXPECT_EQ(raw.size(), kFrames * FrameBytes(s.ntsc));
        const QString in = Path(name);
        if (!s.type2) {
            writeFileBytes(in, dvType1Avi(raw));
        } else {
            QStringList maps{"-map", "0:v"};
            for (int i = 0; i < s.audioStreams; ++i)
                maps << "-map"
                     << "0:a";
            EXPECT_TRUE(makeType2Avi(Path("raw.dv"), in, maps));
        }
        return in;
    }

    // Raw DV of a flat picture, with the recording date and time code of
    // makeRawDv, in raw.dv.
    QByteArray MakeCalmRawDv(bool ntsc)
    {
        const QString path = Path("raw.dv");
        const ToolResult made =
            runTool("ffmpeg", {"-v",
                               "error",
                               "-y",
                               "-f",
                               "lavfi",
                               "-i",
                               QString("color=c=0x507090:size=%1:rate=%2")
                                   .arg(ntsc ? "720x480" : "720x576", ntsc ? "30000/1001" : "25"),
                               "-f",
                               "lavfi",
                               "-i",
                               "sine=frequency=440:sample_rate=48000",
                               "-t",
                               QString::number(ntsc ? kFrames * 1001 / 30000.0 : kFrames / 25.0),
                               "-ac",
                               "2",
                               "-pix_fmt",
                               ntsc ? "yuv411p" : "yuv420p",
                               "-metadata",
                               "creation_time=2005-06-07T08:09:10Z",
                               "-timecode",
                               "01:02:03:04",
                               "-f",
                               "dv",
                               path});
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return readFileBytes(path);
    }

    std::vector<QByteArray> RawFrames(bool ntsc) const
    {
        std::vector<QByteArray> frames;
        for (int f = 0; f < kFrames; ++f)
            frames.push_back(raw.mid(qsizetype(f) * FrameBytes(ntsc), FrameBytes(ntsc)));
        return frames;
    }

    // The header options as a video command handler sets them, and the audio
    // converters' rate to the source's 48 kHz.
    void SetHeaderOptions(double days, bool copy, bool writeAspect, bool wide)
    {
        afterBuild = [this, days, copy, writeAspect, wide](TCdm &m) {
            SetHandlerOptions(m, days, copy, writeAspect, wide);
            if (overlayOptions)
                overlayOptions(m);
        };
    }

    bool RunHeader(const QString &in)
    {
        return RunCommand(in, [](TCdm &m, const QString &s, const QString &o) {
            return m.BuildHeaderGraph(s, o);
        });
    }

    std::function<void(TCdm &)> overlayOptions;
    QByteArray raw;
};

// ---------------------------------------------------------------------------
// Burning the date in

class CdmOverlayBurn : public CdmOverlay, public testing::WithParamInterface<Source>
{
protected:
    bool RunOverlay(const QString &in, const Source &s, bool on)
    {
        overlayOptions = [on](TCdm &m) {
            TincrustRec options;
            options.Line1 = QStringLiteral("%D1");
            options.Line2 = QStringLiteral("Vidora");
            options.When = 0; // every frame
            options.Font.Size = 24;
            options.Font.Bold = 1;
            m.Superposer().SetOptions(options);
            m.Superposer().SetPosition(500, 800, 1);
            m.Superposer().SetOverlayOn(on);
        };
        // The start-up header handling: the source's packs copied, no shift,
        // the aspect left alone.
        SetHeaderOptions(0.0, true, false, false);
        return RunCommand(in, [s](TCdm &m, const QString &src, const QString &o) {
            return s.type2 ? m.BuildOverlayGraphType2(src, o, s.ntsc)
                           : m.BuildOverlayGraphType1(src, o, s.ntsc);
        });
    }
};

// Decoded pictures as top-down BGR rows.
std::vector<QByteArray> Pictures(const QString &path, bool ntsc)
{
    const ToolResult r = runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v", "-f",
                                            "rawvideo", "-pix_fmt", "bgr24", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const int size = 720 * (ntsc ? 480 : 576) * 3;
    std::vector<QByteArray> pictures;
    for (qsizetype at = 0; at + size <= r.out.size(); at += size)
        pictures.push_back(r.out.mid(at, size));
    return pictures;
}

// The overlay output is compared with the same graph run with the overlay
// off: both went through the same decode and re-encode, so outside the text
// box the pictures differ only by what the encoder's per-segment quantiser
// choice spreads over the frame (a DV video segment gathers five macroblocks
// from all over the picture). The box is widened by one macroblock (32 × 8
// pixels in 4:1:1, 16 × 16 in 4:2:0).
TEST_P(CdmOverlayBurn, TextOnlyInsideItsBoxStandardAndDatesKept)
{
    const Source s = GetParam();
    const QString in = MakeSource(s, "tape.avi", true);

    outputFor = [this](const QString &) { return Path("plain.avi"); };
    ASSERT_TRUE(RunOverlay(in, s, false));
    outputFor = [this](const QString &) { return Path("burnt.avi"); };
    ASSERT_TRUE(RunOverlay(in, s, true));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(dest.Names(), (QStringList{"burnt.avi", "plain.avi"}));

    const QString out = Path("burnt.avi");
    const QStringList streams = probeStreams(out);
    const QString frames = QString::number(kFrames);
    if (s.type2) {
        // The muxer puts one 48 kHz pair into a DV frame: a second stream of
        // the source has no room and is left out.
        ASSERT_EQ(streams.size(), 2);
        EXPECT_EQ(streams[0], "dvvideo,video," + frames);
        EXPECT_TRUE(streams[1].startsWith("pcm_s16le,audio,")) << streams[1].toStdString();
        EXPECT_EQ(StreamKinds(out), (QStringList{"vids", "auds"}));
    } else {
        EXPECT_EQ(StreamKinds(out), QStringList{"iavs"});
        // A type 1 file keeps its one interleaved stream, which ffprobe shows
        // as video and audio.
        ASSERT_GE(streams.size(), 1);
        EXPECT_EQ(streams[0], "dvvideo,video," + frames);
        const std::vector<QByteArray> outFrames = DvFramesOf(out, s.ntsc);
        ASSERT_EQ(int(outFrames.size()), kFrames);
        TDvBlock aaux;
        EXPECT_TRUE(FindAauxPack(Bytes(outFrames[0]), kDvPackAauxSource, Sequences(s.ntsc), aaux));
    }
    EXPECT_EQ(ProbeVideo(out, "width,height"), s.ntsc ? "720,480" : "720,576");
    EXPECT_EQ(decodeErrors(out), QString());
    EXPECT_EQ(RecordedDate(out), "2005-06-07 08:09:10.000");

    const OverlayLayout layout = cdm.Superposer().LastLayout();
    ASSERT_TRUE(layout.drawn);
    const int height = s.ntsc ? 480 : 576;
    const QRect box =
        layout.textBox.adjusted(-32, -16, 32, 16).intersected(QRect(0, 0, 720, height));
    ASSERT_FALSE(box.isEmpty());

    const std::vector<QByteArray> plain = Pictures(Path("plain.avi"), s.ntsc);
    const std::vector<QByteArray> burnt = Pictures(out, s.ntsc);
    ASSERT_EQ(int(plain.size()), kFrames);
    ASSERT_EQ(burnt.size(), plain.size());
    for (std::size_t f = 0; f < plain.size(); ++f) {
        SCOPED_TRACE(f);
        long inside = 0, outside = 0, outsideFar = 0, outsideSum = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 720; ++x) {
                const qsizetype at = (qsizetype(y) * 720 + x) * 3;
                int diff = 0;
                for (int c = 0; c < 3; ++c)
                    diff = std::max(diff, std::abs(int(std::uint8_t(plain[f][at + c])) -
                                                   int(std::uint8_t(burnt[f][at + c]))));
                if (box.contains(x, y)) {
                    inside += diff > 64;
                } else {
                    ++outside;
                    outsideSum += diff;
                    outsideFar += diff > 24;
                }
            }
        EXPECT_GT(inside, 200) << "the text is not in its box";
        EXPECT_LT(double(outsideSum) / double(outside), 0.5) << "mean difference outside";
        EXPECT_LT(outsideFar, outside / 500) << "pixels far off outside the box";
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, CdmOverlayBurn,
                         testing::Values(Source{false, false}, Source{false, true},
                                         Source{true, false, 2}, Source{true, true}),
                         [](const testing::TestParamInfo<Source> &caseInfo) {
                             return SourceName(caseInfo.param);
                         });

// ---------------------------------------------------------------------------
// Shifting the date and time

struct ShiftCase
{
    Source source;
    QString parameter;
    double days; // what the parameter is read as
};

class CdmTimeShift : public CdmOverlay, public testing::WithParamInterface<ShiftCase>
{};

// Every recording date and time pack carries the shifted date, every other
// byte of every frame (audio blocks of a type 1 file included) is the
// source's, and a type 2 file keeps each of its audio streams.
TEST_P(CdmTimeShift, ShiftsEveryDatePackAndNothingElse)
{
    const ShiftCase c = GetParam();
    const Source s = c.source;
    const QString in = MakeSource(s);
    const double days = TimeShiftDays({c.parameter});
    EXPECT_EQ(days, c.days);
    SetHeaderOptions(days, false, false, false);
    ASSERT_TRUE(RunHeader(in));
    EXPECT_TRUE(Errors().empty());
    const QString out = Path("tape_out.avi");
    ASSERT_TRUE(QFile::exists(out));

    const std::vector<QByteArray> sourceFrames = RawFrames(s.ntsc);
    const std::vector<QByteArray> result = DvFramesOf(out, s.ntsc);
    ASSERT_EQ(result.size(), sourceFrames.size());
    const auto seconds = std::llround(days * 86400.0);
    for (std::size_t f = 0; f < sourceFrames.size(); ++f) {
        SCOPED_TRACE(f);
        std::map<std::size_t, std::uint8_t> allowed;
        const auto packs = PackPositions(sourceFrames[f], s.ntsc, [](std::uint8_t pc0) {
            return pc0 == kDvPackRecDate || pc0 == kDvPackRecTime;
        });
        ASSERT_FALSE(packs.empty());
        for (const std::size_t at : packs)
            for (std::size_t b = 1; b < 5; ++b)
                allowed[at + b] = 0xFF;
        EXPECT_EQ(UnexpectedChanges(sourceFrames[f], result[f], allowed),
                  std::vector<std::size_t>{});

        TDvRecDateTime before, after;
        ASSERT_TRUE(ReadDvRecDateTime(Bytes(sourceFrames[f]), Sequences(s.ntsc), before));
        ASSERT_TRUE(ReadDvRecDateTime(Bytes(result[f]), Sequences(s.ntsc), after));
        EXPECT_EQ(AsDateTime(after), AsDateTime(before).addSecs(seconds));
        // Every pack, not only the first one a reader finds.
        for (const std::size_t at : packs) {
            TDvPack pack;
            for (std::size_t b = 0; b < 5; ++b)
                pack[b] = std::uint8_t(result[f][qsizetype(at + b)]);
            EXPECT_EQ(pack[0], std::uint8_t(sourceFrames[f][qsizetype(at)]));
            TDvPack first;
            ASSERT_TRUE(FindDvPack(Bytes(result[f]), pack[0], Sequences(s.ntsc), first));
            EXPECT_EQ(pack, first) << "pack at " << at;
        }
    }
    const QString expected = QDateTime(QDate(2005, 6, 7), QTime(8, 9, 10), Qt::UTC)
                                 .addSecs(seconds)
                                 .toString("yyyy-MM-dd hh:mm:ss.zzz");
    EXPECT_EQ(RecordedDate(out), expected);

    const QStringList streams = probeStreams(out);
    if (s.type2) {
        ASSERT_EQ(streams.size(), 1 + s.audioStreams);
        QStringList kinds{"vids"};
        for (int a = 0; a < s.audioStreams; ++a)
            kinds << "auds";
        EXPECT_EQ(StreamKinds(out), kinds);
        for (int a = 0; a < s.audioStreams; ++a) {
            SCOPED_TRACE(a);
            const QByteArray sourceAudio = DecodedAudio(in, a);
            EXPECT_GT(sourceAudio.size(), 0);
            EXPECT_TRUE(DecodedAudio(out, a) == sourceAudio);
        }
    } else {
        EXPECT_EQ(StreamKinds(out), QStringList{"iavs"});
    }
    EXPECT_EQ(decodeErrors(out), QString());
}

INSTANTIATE_TEST_SUITE_P(Sources, CdmTimeShift,
                         testing::Values(ShiftCase{{false, false}, "1.5", 1.5},
                                         ShiftCase{{false, true}, "-2", -2.0},
                                         ShiftCase{{true, false, 2}, "0,25", 0.25},
                                         ShiftCase{{true, true, 1}, "3650", 3650.0},
                                         ShiftCase{{false, false}, "tomorrow", 0.0}),
                         [](const testing::TestParamInfo<ShiftCase> &caseInfo) {
                             return SourceName(caseInfo.param.source) + "_" +
                                    std::to_string(caseInfo.index);
                         });

// The command's parameter: a number of days, else no shift.
TEST(TimeShiftParameter, ReadsDaysOrNothing)
{
    const struct
    {
        QStringList parameters;
        double days;
    } cases[] = {
        {{}, 0.0},   {{"2"}, 2.0},     {{" 0.5 "}, 0.5}, {{"-1,25"}, -1.25}, {{"abc"}, 0.0},
        {{""}, 0.0}, {{"1e400"}, 0.0}, {{"nan"}, 0.0},   {{"3", "9"}, 3.0},  {{"1.5d"}, 0.0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TimeShiftDays(c.parameters), c.days) << c.parameters.join('|').toStdString();
}

// ---------------------------------------------------------------------------
// 16:9 and 4:3

class CdmAspect : public CdmOverlay, public testing::WithParamInterface<Source>
{};

// Only the display-mode bits of the VAUX source control packs change, and
// ffprobe reads the new aspect; setting 4:3 on the 16:9 result brings the
// source's frames back.
TEST_P(CdmAspect, ChangesOnlyTheDisplayMode)
{
    const Source s = GetParam();
    const QString in = MakeSource(s);
    EXPECT_EQ(ProbeVideo(in, "display_aspect_ratio"), "4:3");
    const std::vector<QByteArray> sourceFrames = RawFrames(s.ntsc);

    SetHeaderOptions(0.0, false, true, true);
    outputFor = [this](const QString &) { return Path("wide.avi"); };
    ASSERT_TRUE(RunHeader(in));
    outputFor = [this](const QString &) { return Path("narrow.avi"); };
    SetHeaderOptions(0.0, false, true, false);
    ASSERT_TRUE(RunHeader(Path("wide.avi")));
    EXPECT_TRUE(Errors().empty());

    EXPECT_EQ(ProbeVideo(Path("wide.avi"), "display_aspect_ratio"), "16:9");
    EXPECT_EQ(ProbeVideo(Path("narrow.avi"), "display_aspect_ratio"), "4:3");
    const std::vector<QByteArray> wide = DvFramesOf(Path("wide.avi"), s.ntsc);
    const std::vector<QByteArray> narrow = DvFramesOf(Path("narrow.avi"), s.ntsc);
    ASSERT_EQ(wide.size(), sourceFrames.size());
    ASSERT_EQ(narrow.size(), sourceFrames.size());
    for (std::size_t f = 0; f < sourceFrames.size(); ++f) {
        SCOPED_TRACE(f);
        // DISP, the low three bits of PC2 of a VAUX source control pack.
        std::map<std::size_t, std::uint8_t> allowed;
        const auto packs = PackPositions(sourceFrames[f], s.ntsc, [](std::uint8_t pc0) {
            return pc0 == kDvPackVauxSourceControl;
        });
        ASSERT_FALSE(packs.empty());
        for (const std::size_t at : packs)
            allowed[at + 2] = 0x07;
        EXPECT_EQ(UnexpectedChanges(sourceFrames[f], wide[f], allowed), std::vector<std::size_t>{});
        EXPECT_NE(sourceFrames[f], wide[f]);
        bool isWide = false;
        EXPECT_TRUE(ReadDvWideFlag(Bytes(wide[f]), Sequences(s.ntsc), isWide) && isWide);
        EXPECT_EQ(narrow[f], sourceFrames[f]);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, CdmAspect,
                         testing::Values(Source{false, false}, Source{true, true}),
                         [](const testing::TestParamInfo<Source> &caseInfo) {
                             return SourceName(caseInfo.param);
                         });

// ---------------------------------------------------------------------------
// Sources the graphs cannot take

// A file that is not AVI, and a type 1 file given to the type 2 overlay graph
// (its interleaved stream reaches the scene detector, but the decoder takes
// no interleaved DV, so no picture reaches the muxer): no graph, no output,
// no list entry, and the run ends.
TEST_F(CdmOverlay, NoGraphWhenNothingWouldBeWritten)
{
    const QString notAvi = Path("notes.avi");
    writeFileBytes(notAvi, QByteArray(5000, 'x'));
    const QString type1 = MakeSource(Source{false, false});

    const struct
    {
        const char *name;
        QString in;
        Builder build;
    } cases[] = {
        {"not AVI, overlay 2", notAvi,
         [](TCdm &m, const QString &s, const QString &o) {
             return m.BuildOverlayGraphType2(s, o, false);
         }},
        {"not AVI, overlay 1", notAvi,
         [](TCdm &m, const QString &s, const QString &o) {
             return m.BuildOverlayGraphType1(s, o, false);
         }},
        {"not AVI, header", notAvi,
         [](TCdm &m, const QString &s, const QString &o) { return m.BuildHeaderGraph(s, o); }},
        {"type 1, overlay 2", type1,
         [](TCdm &m, const QString &s, const QString &o) {
             return m.BuildOverlayGraphType2(s, o, false);
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = Path(QFileInfo(c.in).completeBaseName() + "_out.avi");
        ASSERT_TRUE(RunCommand(c.in, c.build));
        EXPECT_FALSE(QFile::exists(out));
        EXPECT_TRUE(dest.Names().isEmpty());
    }
}

} // namespace
} // namespace vidora::test
