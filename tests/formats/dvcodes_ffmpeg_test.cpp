// Independent check of the DV pack routines on raw DV files written by the
// ffmpeg command-line tool (its DV muxer writes date, time, time code, AAUX and
// VAUX source control packs), compared with what was asked of ffmpeg and with
// what mediainfo reports for the same file.
#include "formats/dvcodes.h"
#include "support/dvframe.h"
#include "support/tools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <span>

using namespace vidora;
using namespace vidora::test;

namespace {

struct FfmpegDvCase
{
    const char *name;
    bool ntsc;
    int sampleRate;
    bool wide;
    const char *creationTime; // UTC, as given to ffmpeg
    TDvRecDateTime expected;
    // mediainfo reads two-digit years below 25 as 20xx and the rest as 19xx,
    // which agrees with the program's window for 1995–2024 only.
    bool compareMediainfoDate;
};

// ffmpeg's DV muxer takes 48, 44.1 and 32 kHz with 625/50 but only 48 kHz with
// 525/60.
// clang-format off
const FfmpegDvCase kCases[] = {
    {"Pal48k_1995",       false, 48000, false, "1995-01-01T00:00:00Z", {1995, 1, 1, 0, 0, 0},       true},
    {"Pal44k_Wide_1999",  false, 44100, true,  "1999-12-31T23:59:59Z", {1999, 12, 31, 23, 59, 59}, true},
    {"Pal32k_2003",       false, 32000, false, "2003-07-14T15:16:17Z", {2003, 7, 14, 15, 16, 17},  true},
    {"Ntsc48k_2010",      true,  48000, false, "2010-06-15T08:09:10Z", {2010, 6, 15, 8, 9, 10},    true},
    {"Ntsc48k_Wide_2024", true,  48000, true,  "2024-02-29T12:34:56Z", {2024, 2, 29, 12, 34, 56},  true},
    {"Pal32k_Wide_2024",  false, 32000, true,  "2024-12-31T23:59:58Z", {2024, 12, 31, 23, 59, 58}, true},
    {"Pal48k_2031",       false, 48000, false, "2031-03-04T05:06:07Z", {2031, 3, 4, 5, 6, 7},      false},
    {"Ntsc48k_Wide_2031", true,  48000, true,  "2031-10-20T21:22:23Z", {2031, 10, 20, 21, 22, 23}, false},
};
// clang-format on

void PrintTo(const FfmpegDvCase &c, std::ostream *os)
{
    *os << c.name;
}

bool toolAvailable(const QString &program, const QString &versionOption)
{
    return runTool(program, {versionOption}, 30000).started;
}

QString dateText(const TDvRecDateTime &dt)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", dt.Year, dt.Month, dt.Day,
                  dt.Hour, dt.Minute, dt.Second);
    return QString::fromLatin1(text);
}

QString timecodeText(const TDvTimecode &tc)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", tc.Hours, tc.Minutes, tc.Seconds,
                  tc.Frames);
    return QString::fromLatin1(text);
}

// The track of a type ("General", "Video", "Audio") in mediainfo's JSON output.
QJsonObject mediainfoTrack(const QJsonDocument &doc, const QString &type)
{
    const QJsonArray tracks = doc.object().value("media").toObject().value("track").toArray();
    for (const QJsonValue &track : tracks) {
        if (track.toObject().value("@type").toString() == type)
            return track.toObject();
    }
    return {};
}

class DvcodesFfmpeg : public ::testing::TestWithParam<FfmpegDvCase>
{};

TEST_P(DvcodesFfmpeg, PacksMatchWhatWasAskedAndWhatMediainfoReads)
{
    const FfmpegDvCase &c = GetParam();
    if (!toolAvailable("ffmpeg", "-version"))
        FAIL() << "ffmpeg is not installed (scripts/setup installs it)";
    if (!toolAvailable("mediainfo", "--Version"))
        FAIL() << "mediainfo is not installed (scripts/setup installs it)";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("out.dv");
    const QString video =
        c.ntsc ? "testsrc=size=720x480:rate=30000/1001" : "testsrc=size=720x576:rate=25";
    QStringList args = QString("-hide_banner -loglevel error -f lavfi -i %1 -f lavfi -i "
                               "sine=sample_rate=%2 -t 0.2 -ac 2 -pix_fmt %5 -aspect %3 -metadata "
                               "creation_time=%4 -timecode 01:02:03:04 -f dv")
                           .arg(video)
                           .arg(c.sampleRate)
                           .arg(c.wide ? "16:9" : "4:3")
                           .arg(c.creationTime)
                           .arg(c.ntsc ? "yuv411p" : "yuv420p")
                           .split(' ');
    args << path;
    const ToolResult made = runTool("ffmpeg", args);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    const QByteArray file = readFileBytes(path);
    const std::size_t frameBytes = c.ntsc ? 120000 : 144000;
    const int nSeq = c.ntsc ? 10 : 12;
    ASSERT_GT(file.size(), 0);
    ASSERT_EQ(static_cast<std::size_t>(file.size()) % frameBytes, 0u);
    const std::size_t frames = static_cast<std::size_t>(file.size()) / frameBytes;
    const std::span<const std::uint8_t> all(
        reinterpret_cast<const std::uint8_t *>(file.constData()),
        static_cast<std::size_t>(file.size()));

    TDvRecDateTime firstDate{};
    TDvTimecode firstTimecode{};
    for (std::size_t i = 0; i < frames; ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        const auto frame = all.subspan(i * frameBytes, frameBytes);

        bool is525 = !c.ntsc;
        ASSERT_TRUE(ReadDvSystem(frame, is525));
        EXPECT_EQ(is525, c.ntsc);

        // The clip is shorter than a second: every frame carries the start time.
        TDvRecDateTime dt{};
        ASSERT_TRUE(ReadDvRecDateTime(frame, nSeq, dt));
        EXPECT_EQ(dateText(dt), dateText(c.expected));

        TDvTimecode tc{};
        ASSERT_TRUE(ReadDvTimecode(frame, nSeq, tc));
        const TDvTimecode expectedTc{1, 2, 3, static_cast<std::uint8_t>(4 + i)};
        EXPECT_EQ(timecodeText(tc), timecodeText(expectedTc));

        std::int32_t rate = 0, bits = 0, channels = 0;
        ASSERT_TRUE(ReadDvAudioFormat(frame, nSeq, rate, bits, channels));
        EXPECT_EQ(rate, c.sampleRate);
        EXPECT_EQ(bits, 16);
        EXPECT_EQ(channels, 2);

        bool wide = !c.wide;
        ASSERT_TRUE(ReadDvWideFlag(frame, nSeq, wide));
        EXPECT_EQ(wide, c.wide);

        if (i == 0) {
            firstDate = dt;
            firstTimecode = tc;
        }
    }

    const ToolResult info = runTool("mediainfo", {"--Output=JSON", path});
    ASSERT_EQ(info.exitCode, 0) << info.err.toStdString();
    const QJsonDocument doc = QJsonDocument::fromJson(info.out);
    const QJsonObject general = mediainfoTrack(doc, "General");
    const QJsonObject videoTrack = mediainfoTrack(doc, "Video");
    const QJsonObject audioTrack = mediainfoTrack(doc, "Audio");

    EXPECT_EQ(general.value("FrameCount").toString().toULongLong(), frames);
    if (c.compareMediainfoDate) {
        // "YYYY-MM-DD hh:mm:ss.000"
        EXPECT_EQ(general.value("Recorded_Date").toString().left(19), dateText(firstDate));
    }
    EXPECT_EQ(videoTrack.value("TimeCode_FirstFrame").toString(), timecodeText(firstTimecode));
    EXPECT_EQ(videoTrack.value("Standard").toString(), c.ntsc ? "NTSC" : "PAL");
    EXPECT_EQ(videoTrack.value("DisplayAspectRatio").toString(), c.wide ? "1.778" : "1.333");
    EXPECT_EQ(audioTrack.value("SamplingRate").toString().toInt(), c.sampleRate);
    EXPECT_EQ(audioTrack.value("Channels").toString().toInt(), 2);
    EXPECT_EQ(audioTrack.value("BitDepth").toString().toInt(), 16);
}

// The test frame builder lays DIF blocks out as ffmpeg's DV muxer does: the
// same block identifiers (section type, sequence, block number) in the same
// order, and the same system byte.
TEST(DvFrameBuilder, BlockLayoutMatchesFfmpegFrames)
{
    if (!toolAvailable("ffmpeg", "-version"))
        FAIL() << "ffmpeg is not installed (scripts/setup installs it)";
    for (const bool ntsc : {false, true}) {
        SCOPED_TRACE(ntsc ? "NTSC" : "PAL");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("layout.dv");
        const QString source =
            ntsc ? "testsrc=size=720x480:rate=30000/1001" : "testsrc=size=720x576:rate=25";
        QStringList args = QString("-hide_banner -loglevel error -f lavfi -i %1 -f lavfi -i "
                                   "sine=sample_rate=48000 -t 0.2 -ac 2 -pix_fmt %2 -f dv")
                               .arg(source, ntsc ? "yuv411p" : "yuv420p")
                               .split(' ');
        args << path;
        const ToolResult made = runTool("ffmpeg", args);
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
        const QByteArray file = readFileBytes(path);
        const DvFrame built(ntsc ? DvStandard::Ntsc : DvStandard::Pal);
        ASSERT_GE(static_cast<std::size_t>(file.size()), built.size());

        const auto *ffmpegFrame = reinterpret_cast<const std::uint8_t *>(file.constData());
        for (std::size_t block = 0; block < built.size() / 80; ++block) {
            for (std::size_t i = 0; i < 3; ++i)
                ASSERT_EQ(built.bytes()[block * 80 + i], ffmpegFrame[block * 80 + i])
                    << "block " << block << " byte " << i;
        }
        EXPECT_EQ(built.bytes()[3], ffmpegFrame[3]);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DvcodesFfmpeg, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FfmpegDvCase> &caseInfo) {
                             return std::string(caseInfo.param.name);
                         });

} // namespace
