// The conversion graphs of the processing module, run through the command
// engine as the program runs them, checked with ffprobe, mediainfo and our
// own parsers.
#include "support/cdm_stage.h"

#include "files/avifichier.h"
#include "formats/aviinfo.h"
#include "formats/dvcodes.h"
#include "platform/media/dsfunctions_media.h"
#include "support/avi_files.h"
#include "support/dvfiles.h"
#include "support/dvframe.h"
#include "support/tools.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_scenedetect.h"

#include <QDir>

#include <atomic>
#include <span>
#include <thread>

namespace vidora::test {
namespace {

using namespace std::chrono_literals;

constexpr int kFrames = 12;

int FrameBytes(bool ntsc)
{
    return ntsc ? kNtscFrame : kPalFrame;
}

double FrameRate(bool ntsc)
{
    return ntsc ? 30000.0 / 1001.0 : 25.0;
}

std::span<const std::uint8_t> Bytes(const QByteArray &frame)
{
    return {reinterpret_cast<const std::uint8_t *>(frame.constData()), std::size_t(frame.size())};
}

// The DV frames of the file's video stream (whole DIF frames, audio blocks
// included), as ffmpeg copies them out.
std::vector<QByteArray> DvFrames(const QString &path, bool ntsc)
{
    const ToolResult r = runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-c",
                                            "copy", "-f", "rawvideo", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<QByteArray> frames;
    const int size = FrameBytes(ntsc);
    for (qsizetype at = 0; at + size <= r.out.size(); at += size)
        frames.push_back(r.out.mid(at, size));
    EXPECT_EQ(r.out.size() % size, 0) << "a partial frame";
    return frames;
}

QByteArray DecodedAudio(const QString &path, int stream = 0)
{
    const ToolResult r = runTool("ffmpeg", {"-v", "error", "-i", path, "-map",
                                            QString("0:a:%1").arg(stream), "-f", "s16le", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return r.out;
}

// Time code and recording date and time of a frame, as text.
std::string CodesOf(const QByteArray &frame, bool ntsc)
{
    const int sequences = ntsc ? 10 : 12;
    TDvTimecode tc;
    TDvRecDateTime dt;
    if (!ReadDvTimecode(Bytes(frame), sequences, tc) ||
        !ReadDvRecDateTime(Bytes(frame), sequences, dt))
        return "none";
    return QString::asprintf("%02d:%02d:%02d:%02d %04d-%02d-%02d %02d:%02d:%02d", tc.Hours,
                             tc.Minutes, tc.Seconds, tc.Frames, dt.Year, dt.Month, dt.Day, dt.Hour,
                             dt.Minute, dt.Second)
        .toStdString();
}

QString MediaInfoDate(const QString &path)
{
    return QString::fromUtf8(runTool("mediainfo", {"--Inform=General;%Recorded_Date%", path}).out)
        .trimmed();
}

// ffprobe's values of one stream, comma-separated in the order asked.
QString ProbeStream(const QString &path, const QString &selector, const QString &entries)
{
    const ToolResult r =
        runTool("ffprobe", {"-v", "error", "-select_streams", selector, "-show_entries",
                            "stream=" + entries, "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed();
}

double DurationSeconds(const QString &path)
{
    const ToolResult r = runTool(
        "ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed().toDouble();
}

// The stream types of an AVI file as our parser reads them ("iavs", "vids"…).
QStringList StreamTypes(const QString &path)
{
    TAviParam param(path);
    QStringList types;
    for (const TAvistream &s : param.Streams()) {
        const std::uint32_t t = s.fccType();
        const char code[4] = {char(t), char(t >> 8), char(t >> 16), char(t >> 24)};
        types << QString::fromLatin1(code, 4);
    }
    return types;
}

using Builder = std::function<media::IMediaSeeking *(TCdm &, const QString &, const QString &)>;

class CdmConversion : public CdmStage
{
protected:
    CdmConversion() { cdm.SetSettings(&settings); }

    // A DV type 1 file of kFrames frames, dated 2005-06-07 08:09:10, time
    // code 01:02:03:04, 48 kHz stereo. Its stream info announces 32 kHz: the
    // frames' own rate must win.
    QString Type1(bool ntsc, const QString &name = "tape1.avi")
    {
        const QByteArray raw = makeRawDv(m_dir.path(), kFrames, ntsc);
        EXPECT_FALSE(raw.isEmpty());
        writeFileBytes(Path(name), dvType1Avi(raw));
        return Path(name);
    }
    // The same frames as a type 2 file made by ffmpeg.
    QString Type2(bool ntsc, const QString &name = "tape2.avi")
    {
        EXPECT_FALSE(makeRawDv(m_dir.path(), kFrames, ntsc).isEmpty());
        EXPECT_TRUE(makeType2Avi(Path("raw.dv"), Path(name)));
        return Path(name);
    }
    // Type 2 with `audioStreams` audio streams at `rate` Hz, the first the
    // DV file's own sound, the others sines of their own frequencies.
    QString Type2WithStreams(bool ntsc, int audioStreams, int rate, const QString &name)
    {
        EXPECT_FALSE(makeRawDv(m_dir.path(), kFrames, ntsc).isEmpty());
        QStringList args{"-hide_banner", "-loglevel", "error", "-y", "-i", Path("raw.dv")};
        QStringList maps{"-map", "0:v", "-map", "0:a"};
        for (int i = 1; i < audioStreams; ++i) {
            args += QStringList{
                "-f", "lavfi", "-i",
                QString("sine=frequency=%1:sample_rate=%2").arg(300 + 200 * i).arg(rate)};
            maps += QStringList{"-map", QString("%1:a").arg(i)};
        }
        args += maps;
        args += QStringList{"-c:v", "copy", "-c:a",      "pcm_s16le", "-ar", QString::number(rate),
                            "-ac",  "2",    "-shortest", Path(name)};
        const ToolResult made = runTool("ffmpeg", args);
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return Path(name);
    }

    // What the NTSC and PAL command handlers set after a build: the audio
    // converters to the entry's rate, the header filter to copy the source's
    // headers with the time offset, no aspect.
    // The sources' sound is 48 kHz.
    void SetStandardHandlerValues()
    {
        afterBuild = [this](TCdm &c) {
            media::SetAudioSampleRate(c.Acm1(), 48000);
            media::SetAudioSampleRate(c.Acm2(), 48000);
            c.DvHeader().SetDateOffset(settings.TimeOffset);
            c.DvHeader().SetCopyHeaders(true);
            c.DvHeader().SetWriteAspect(false);
            c.DvHeader().SetAspectWide(false);
            if (extraAfterBuild)
                extraAfterBuild(c);
        };
    }

    bool Run(const QString &in, const QString &out, Builder build)
    {
        outputFor = [out](const QString &) { return out; };
        return RunCommand(in, std::move(build));
    }

    // Files in the test folder, for "nothing else was left behind".
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }

    SettingValues settings;
    std::function<void(TCdm &)> extraAfterBuild;
};

Builder ToType2()
{
    return [](TCdm &c, const QString &s, const QString &o) { return c.BuildToType2Graph(s, o); };
}
Builder ToType1()
{
    return [](TCdm &c, const QString &s, const QString &o) { return c.BuildToType1Graph(s, o); };
}
Builder Standard(bool type2, bool toNtsc)
{
    return [=](TCdm &c, const QString &s, const QString &o) {
        return type2 ? c.BuildStandardGraphType2(s, o, toNtsc)
                     : c.BuildStandardGraphType1(s, o, toNtsc);
    };
}

TEST_F(CdmConversion, Type1ToType2KeepsEveryFrameAndTheAudio)
{
    const QByteArray raw = makeRawDv(m_dir.path(), 25);
    ASSERT_FALSE(raw.isEmpty());
    const QString in = Path("tape.avi");
    writeFileBytes(in, dvType1Avi(raw));

    ASSERT_TRUE(RunCommand(
        in, [](TCdm &m, const QString &s, const QString &o) { return m.BuildToType2Graph(s, o); }));
    EXPECT_TRUE(Errors().empty());
    const QString out = Path("tape_out.avi");
    const QStringList streams = probeStreams(out);
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].toStdString(), "dvvideo,video,25");
    EXPECT_TRUE(streams[1].startsWith("pcm_s16le,audio,")) << streams[1].toStdString();
    EXPECT_EQ(decodeErrors(out), QString());
    EXPECT_EQ(dest.Names(), QStringList{"tape_out.avi"});
}

TEST_F(CdmConversion, AFileThatIsNotAviLeavesNoOutput)
{
    const QString in = Path("notes.avi");
    writeFileBytes(in, QByteArray(5000, 'x'));
    ASSERT_TRUE(RunCommand(
        in, [](TCdm &m, const QString &s, const QString &o) { return m.BuildToType2Graph(s, o); }));
    EXPECT_FALSE(QFile::exists(Path("notes_out.avi")));
    EXPECT_TRUE(dest.Names().isEmpty());
}

class CdmTypeRoundTrip : public CdmConversion, public testing::WithParamInterface<bool>
{};

// Type 1 to type 2 and back again, without re-encoding: the streams change,
// the DV video, the sound, the dates and time codes do not.
TEST_P(CdmTypeRoundTrip, KeepsFramesSoundDatesAndTimeCodes)
{
    const bool ntsc = GetParam();
    const QString in = Type1(ntsc);
    const QString type2 = Path("tape1_type2.avi");
    const QString back = Path("tape1_type1.avi");
    ASSERT_TRUE(Run(in, type2, ToType2()));
    ASSERT_TRUE(Run(type2, back, ToType1()));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(dest.Names(), (QStringList{"tape1_type1.avi", "tape1_type2.avi"}));

    EXPECT_EQ(StreamTypes(type2), (QStringList{"vids", "auds"}));
    EXPECT_EQ(StreamTypes(back), QStringList{"iavs"});
    EXPECT_EQ(ProbeStream(type2, "a:0", "codec_name,sample_rate,channels"), "pcm_s16le,48000,2");

    const std::vector<QByteArray> sourceFrames = DvFrames(in, ntsc);
    const std::vector<QByteArray> middle = DvFrames(type2, ntsc);
    const std::vector<QByteArray> result = DvFrames(back, ntsc);
    ASSERT_EQ(sourceFrames.size(), std::size_t(kFrames));
    ASSERT_EQ(middle.size(), sourceFrames.size());
    ASSERT_EQ(result.size(), sourceFrames.size());
    for (std::size_t i = 0; i < sourceFrames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(middle[i] == sourceFrames[i]) << "type 2 keeps the whole frame";
        EXPECT_TRUE(withoutAudio(result[i]) == withoutAudio(sourceFrames[i]));
        EXPECT_EQ(CodesOf(result[i], ntsc), CodesOf(sourceFrames[i], ntsc));
    }
    EXPECT_EQ(CodesOf(result.front(), ntsc), "01:02:03:04 2005-06-07 08:09:10");

    const QByteArray sound = DecodedAudio(in);
    EXPECT_GT(sound.size(), 0);
    EXPECT_TRUE(DecodedAudio(type2) == sound);
    EXPECT_TRUE(DecodedAudio(back) == sound);
    for (const QString &out : {type2, back}) {
        EXPECT_EQ(decodeErrors(out), QString());
        EXPECT_EQ(MediaInfoDate(out), "2005-06-07 08:09:10.000") << out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Systems, CdmTypeRoundTrip, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &caseInfo) {
                             return std::string(caseInfo.param ? "Ntsc" : "Pal");
                         });

// Two 32 kHz stereo streams are the four channels of a DV frame: both come
// back out when the type 1 result is split again.
TEST_F(CdmConversion, Type2WithTwoAudioStreamsKeepsBothInType1)
{
    const QString in = Type2WithStreams(false, 2, 32000, "four.avi");
    ASSERT_TRUE(Run(in, Path("four_type1.avi"), ToType1()));
    ASSERT_TRUE(Run(Path("four_type1.avi"), Path("four_again.avi"), ToType2()));
    EXPECT_TRUE(Errors().empty());
    const QStringList streams = probeStreams(Path("four_again.avi"));
    ASSERT_EQ(streams.size(), 3) << streams.join(' ').toStdString();
    EXPECT_EQ(streams[0], QString("dvvideo,video,%1").arg(kFrames));
    for (int a = 0; a < 2; ++a) {
        SCOPED_TRACE(a);
        EXPECT_EQ(ProbeStream(Path("four_again.avi"), QString("a:%1").arg(a),
                              "codec_name,sample_rate,channels"),
                  "pcm_s16le,32000,2");
        // Each stream keeps its own sound: not silence, not the other's.
        const QByteArray sound = DecodedAudio(Path("four_again.avi"), a);
        EXPECT_NE(sound.count('\0'), sound.size());
        EXPECT_FALSE(sound == DecodedAudio(Path("four_again.avi"), 1 - a));
    }
}

class CdmFixType2 : public CdmConversion, public testing::WithParamInterface<bool>
{};

// A type 2 file with a third stream is written again from its first two.
TEST_P(CdmFixType2, WritesTheFirstTwoStreams)
{
    const bool ntsc = GetParam();
    const QString in = Type2WithStreams(ntsc, 2, 48000, "three.avi");
    ASSERT_EQ(probeStreams(in).size(), 3);
    const QString out = Path("three_fixed.avi");
    ASSERT_TRUE(Run(in, out, [](TCdm &c, const QString &s, const QString &o) {
        return c.BuildFixType2Graph(s, o);
    }));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(StreamTypes(out), (QStringList{"vids", "auds"}));
    EXPECT_EQ(ProbeStream(out, "v:0", "codec_name,width,height,display_aspect_ratio"),
              QString("dvvideo,720,%1,4:3").arg(ntsc ? 480 : 576));
    EXPECT_EQ(ProbeStream(out, "a:0", "codec_name,sample_rate,channels"), "pcm_s16le,48000,2");
    EXPECT_EQ(decodeErrors(out), QString());
    EXPECT_NEAR(DurationSeconds(out), kFrames / FrameRate(ntsc), 1.0 / FrameRate(ntsc));
    EXPECT_TRUE(DvFrames(out, ntsc) == DvFrames(in, ntsc));
    EXPECT_TRUE(DecodedAudio(out) == DecodedAudio(in));
}

INSTANTIATE_TEST_SUITE_P(Systems, CdmFixType2, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &caseInfo) {
                             return std::string(caseInfo.param ? "Ntsc" : "Pal");
                         });

struct RecompressCase
{
    const char *name;
    std::uint8_t standard; // "standard DV"
    std::uint8_t rate;     // "Frequence DV"
    std::uint8_t ratio;    // "ratio DV"
    int sourceRate;        // Hz of the source's sound
    const char *expectedVideo;
    const char *expectedAudio;
};

class CdmRecompress : public CdmConversion, public testing::WithParamInterface<RecompressCase>
{};

// A non-DV AVI (MJPEG pictures, PCM sound) becomes DV type 2 in the
// standard, audio rate and aspect of the settings.
TEST_P(CdmRecompress, WritesDvInTheSettingsFormat)
{
    const RecompressCase &c = GetParam();
    const QString in = Path("clip.avi");
    const ToolResult made =
        runTool("ffmpeg", {"-hide_banner",
                           "-loglevel",
                           "error",
                           "-y",
                           "-f",
                           "lavfi",
                           "-i",
                           "testsrc=size=320x240:rate=25",
                           "-f",
                           "lavfi",
                           "-i",
                           QString("sine=frequency=440:sample_rate=%1").arg(c.sourceRate),
                           "-t",
                           "0.6",
                           "-c:v",
                           "mjpeg",
                           "-c:a",
                           "pcm_s16le",
                           "-ac",
                           "2",
                           in});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    settings.DvStandard = c.standard;
    settings.DvAudioRate = c.rate;
    settings.DvRatio = c.ratio;
    const QString out = Path("clip_dvtype2.avi");

    ASSERT_TRUE(Run(in, out, [](TCdm &m, const QString &s, const QString &o) {
        return m.BuildRecompressGraph(s, o);
    }));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(StreamTypes(out), (QStringList{"vids", "auds"}));
    EXPECT_EQ(ProbeStream(out, "v:0", "codec_name,width,height,display_aspect_ratio,r_frame_rate"),
              c.expectedVideo);
    EXPECT_EQ(ProbeStream(out, "a:0", "codec_name,sample_rate,channels"), c.expectedAudio);
    EXPECT_EQ(decodeErrors(out), QString());
    const double frame = 1.0 / FrameRate(c.standard != 0);
    EXPECT_NEAR(DurationSeconds(out), 0.6, frame);
    // The frames carry the same rate as the stream says.
    const std::vector<QByteArray> frames = DvFrames(out, c.standard != 0);
    ASSERT_FALSE(frames.empty());
    std::int32_t rate = 0, channels = 0, bits = 0;
    ASSERT_TRUE(
        ReadDvAudioFormat(Bytes(frames.front()), c.standard != 0 ? 10 : 12, rate, channels, bits));
    EXPECT_EQ(QString("pcm_s16le,%1,2").arg(rate), c.expectedAudio);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CdmRecompress,
    testing::Values(RecompressCase{"Pal48kNarrow", 0, 2, 0, 48000, "dvvideo,720,576,4:3,25/1",
                                   "pcm_s16le,48000,2"},
                    RecompressCase{"Ntsc32kWide", 1, 0, 1, 48000, "dvvideo,720,480,16:9,30000/1001",
                                   "pcm_s16le,32000,2"},
                    RecompressCase{"Pal44kFromOtherRate", 0, 1, 1, 22050,
                                   "dvvideo,720,576,16:9,25/1", "pcm_s16le,44100,2"}),
    [](const testing::TestParamInfo<RecompressCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });

struct StandardCase
{
    const char *name;
    bool type2;
    bool fromNtsc;
};

class CdmStandard : public CdmConversion, public testing::WithParamInterface<StandardCase>
{};

// NTSC to PAL and back, for both DV types: every frame in the target
// standard, the same length, the source's dates moved by the time offset.
TEST_P(CdmStandard, ConvertsEveryFrameAndShiftsTheDates)
{
    const StandardCase &c = GetParam();
    const bool toNtsc = !c.fromNtsc;
    const QString in = c.type2 ? Type2(c.fromNtsc) : Type1(c.fromNtsc);
    settings.TimeOffset = 1.5; // a day and a half
    SetStandardHandlerValues();
    const QString out = Path("converted.avi");
    ASSERT_TRUE(Run(in, out, Standard(c.type2, toNtsc)));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(dest.Names(), QStringList{"converted.avi"});

    EXPECT_EQ(StreamTypes(out), c.type2 ? QStringList({"vids", "auds"}) : QStringList{"iavs"});
    EXPECT_EQ(ProbeStream(out, "v:0", "codec_name,width,height,r_frame_rate"),
              toNtsc ? "dvvideo,720,480,30000/1001" : "dvvideo,720,576,25/1");
    EXPECT_EQ(decodeErrors(out), QString());
    const double seconds = kFrames / FrameRate(c.fromNtsc);
    EXPECT_NEAR(DurationSeconds(out), seconds, 1.0 / FrameRate(toNtsc));

    const std::vector<QByteArray> frames = DvFrames(out, toNtsc);
    EXPECT_NEAR(double(frames.size()), seconds * FrameRate(toNtsc), 1.0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        bool is525 = !toNtsc;
        EXPECT_TRUE(ReadDvSystem(Bytes(frames[i]), is525));
        EXPECT_EQ(is525, toNtsc);
        EXPECT_EQ(CodesOf(frames[i], toNtsc).substr(12), "2005-06-08 20:09:10");
    }
    EXPECT_EQ(MediaInfoDate(out), "2005-06-08 20:09:10.000");
    EXPECT_EQ(ProbeStream(out, "a:0", "sample_rate,channels"), "48000,2");
}

INSTANTIATE_TEST_SUITE_P(Kinds, CdmStandard,
                         testing::Values(StandardCase{"Type1PalToNtsc", false, false},
                                         StandardCase{"Type1NtscToPal", false, true},
                                         StandardCase{"Type2PalToNtsc", true, false},
                                         StandardCase{"Type2NtscToPal", true, true}),
                         [](const testing::TestParamInfo<StandardCase> &caseInfo) {
                             return std::string(caseInfo.param.name);
                         });

// A 525-line type-1 file whose DVINFO says 625 lines, or nothing: the list
// entry reads its system from the frames, and the conversion to the other
// system that the command makes from it (as the handler does) gives PAL.
TEST_F(CdmConversion, Type1NtscWithAWrongOrBlankDvInfoConvertsToPal)
{
    const QByteArray raw = makeRawDv(m_dir.path(), kFrames, true);
    ASSERT_EQ(raw.size(), kFrames * kNtscFrame);
    SetStandardHandlerValues();
    for (const DvInfoWords &stored : {kPal48kDvInfo, kBlankDvInfo}) {
        SCOPED_TRACE(stored[0] == kBlankDvInfo[0] ? "blank DVINFO" : "PAL DVINFO");
        const QString in = Path("tape1.avi");
        const QString out = Path("converted.avi");
        QFile::remove(out);
        writeFileBytes(in, dvType1Avi(raw, stored));
        const auto entry = TaviFichier::Create(in, TaviReading{});
        ASSERT_TRUE(Run(in, out, Standard(false, entry->Data().standard != TDvStandard::Ntsc)));
        EXPECT_TRUE(Errors().empty());
        EXPECT_EQ(ProbeStream(out, "v:0", "codec_name,width,height,r_frame_rate"),
                  "dvvideo,720,576,25/1");
        EXPECT_EQ(decodeErrors(out), QString());
        EXPECT_NEAR(DurationSeconds(out), kFrames / FrameRate(true), 1.0 / 25);
    }
}

// A type 2 file whose video format states a picture width the DV decoder
// does not take: the scene detector accepts the stream, the decoder not.
QByteArray WithVideoWidth(QByteArray avi, std::uint32_t width)
{
    const qsizetype vids = avi.indexOf("vids");
    const qsizetype strf = avi.indexOf("strf", vids);
    if (vids < 0 || strf < 0)
        return {};
    // strf: id, size, then BITMAPINFOHEADER: biSize, biWidth…
    for (int i = 0; i < 4; ++i)
        avi[strf + 12 + i] = char(width >> (8 * i));
    return avi;
}

TEST_F(CdmConversion, Type1StandardGraphNeedsTheDecoderAfterTheSceneDetector)
{
    const QString in = Type2(false, "narrow.avi");
    writeFileBytes(in, WithVideoWidth(readFileBytes(in), 360));
    SetStandardHandlerValues();
    ASSERT_TRUE(Run(in, Path("narrow_ntsc.avi"), Standard(false, true)));
    EXPECT_FALSE(QFile::exists(Path("narrow_ntsc.avi")));
    EXPECT_TRUE(dest.Names().isEmpty());

    // The next build starts from an empty graph and succeeds.
    const QString good = Type1(false);
    ASSERT_TRUE(Run(good, Path("good_ntsc.avi"), Standard(false, true)));
    EXPECT_EQ(dest.Names(), QStringList{"good_ntsc.avi"});
    EXPECT_EQ(decodeErrors(Path("good_ntsc.avi")), QString());
}

// The same command twice on one file: the second run writes over the first
// output, and the own filters' state left by the first run changes nothing.
// (The AVI mux writes the chunks of its streams in the order they arrive, so
// the files hold the same frames and sound, not always in the same order.)
TEST_F(CdmConversion, RunningACommandTwiceWritesTheSameFileAgain)
{
    const struct
    {
        const char *name;
        Builder build;
        bool type2;
        bool toNtsc;
    } cases[] = {{"to type 2", ToType2(), false, false},
                 {"to NTSC", Standard(true, true), true, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString in = c.type2 ? Type2(false) : Type1(false);
        const QString out = Path("twice.avi");
        SetStandardHandlerValues();
        ASSERT_TRUE(Run(in, out, c.build));
        const QByteArray first = readFileBytes(out);
        ASSERT_FALSE(first.isEmpty());
        const std::vector<QByteArray> firstFrames = DvFrames(out, c.toNtsc);
        const QByteArray firstSound = DecodedAudio(out);
        ASSERT_FALSE(firstFrames.empty());
        questions.Script({TModalResult::mrYes}); // replace the existing output
        ASSERT_TRUE(Run(in, out, c.build));
        EXPECT_TRUE(readFileBytes(out) == first) << "the second run wrote other bytes";
        EXPECT_TRUE(DvFrames(out, c.toNtsc) == firstFrames);
        EXPECT_TRUE(DecodedAudio(out) == firstSound);
        EXPECT_EQ(decodeErrors(out), QString());
        EXPECT_TRUE(Errors().empty());
        QFile::remove(out);
    }
}

// Aborting while the graph runs (held at its first frame until the engine
// has given up waiting) leaves no output and no list entry; the next run of
// the command works.
TEST_F(CdmConversion, AnAbortedRunLeavesNoOutput)
{
    const QString in = Type2(false);
    const QString out = Path("tape2_ntsc.avi");
    std::atomic<bool> reached{false};
    std::atomic<bool> released{false};
    SetStandardHandlerValues();
    bool holding = true;
    extraAfterBuild = [&](TCdm &c) {
        if (!holding)
            return;
        TincrustRec options;
        options.When = 0; // a title from the first frame on
        options.Line1 = "gate";
        c.SceneDetect().SetOptions(options);
        c.SceneDetect().SetOnTitle([&](const TDvFrameInfo &, const QString &, const QString &) {
            reached = true;
            for (int waited = 0; !released && waited < 10000; waited += 5)
                std::this_thread::sleep_for(5ms);
        });
    };
    const auto progress = engine.OnSetProgress;
    engine.OnSetProgress = [&](int position) {
        progress(position);
        if (holding && reached && !engine.Aborted())
            engine.AbortCurrent();
    };
    const auto endProgress = engine.OnEndProgress;
    engine.OnEndProgress = [&] {
        endProgress();
        released = true;
    };
    ASSERT_TRUE(Run(in, out, Standard(true, true)));
    EXPECT_TRUE(reached);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(dest.Names().isEmpty());
    EXPECT_EQ(Files(), (QStringList{"raw.dv", "tape2.avi"})) << "no temporary file is left";

    holding = false;
    released = true;
    ASSERT_TRUE(Run(in, out, Standard(true, true)));
    EXPECT_EQ(dest.Names(), QStringList{"tape2_ntsc.avi"});
    EXPECT_EQ(decodeErrors(out), QString());
}

} // namespace
} // namespace vidora::test
