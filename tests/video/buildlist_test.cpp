// The probe graph on files made by ffmpeg and the RIFF builder: what it finds
// for each kind of file, that every value belongs to the file probed, and
// that probing never changes a file.
#include "formats/datetime.h"
#include "support/dvfiles.h"
#include "support/dvframe.h"
#include "support/media_hang_guard.h"
#include "support/riffbuilder.h"
#include "support/tools.h"
#include "video/graphs/buildlist.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace vidora {
namespace {

using namespace vidora::test;
using namespace std::chrono_literals;

constexpr std::uint32_t kDvsd = 0x64737664; // "dvsd"
constexpr std::uint32_t kMjpg = 0x47504a4d; // "MJPG"
constexpr std::int64_t kPalFrame = 400000;  // 100 ns
constexpr std::int64_t kNtscClip = 1001000; // three frames at 30000/1001

// ffmpeg's recording date and time code of every generated DV clip.
DateTimeValue Recorded()
{
    return EncodeDateTime({{2005, 6, 7}, {8, 9, 10, 0}});
}

// Writes the case's file into the folder and returns its path.
using Maker = std::function<QString(const QString &dir)>;

QString Type1(const QString &dir, const DvClip &clip)
{
    const QString path = QDir(dir).filePath("type1.avi");
    writeFileBytes(path, dvType1Avi(ffmpegRawDv(dir, clip)));
    return path;
}

QString Type2(const QString &dir, const DvClip &clip, bool audio = true)
{
    const QString raw = QDir(dir).filePath("clip.dv");
    writeFileBytes(raw, ffmpegRawDv(dir, clip));
    const QString path = QDir(dir).filePath("type2.avi");
    ffmpegDvType2Avi(raw, path, audio);
    return path;
}

struct Video
{
    std::uint32_t compression;
    int width;
    int height;
    std::int64_t frameTime;
};

struct Audio
{
    std::uint32_t rate;
    int channels;
    int bits;
};

struct ProbeCase
{
    const char *name;
    Maker make;
    // expected
    bool ok;
    int streams;
    bool dv;
    std::optional<Video> video;
    std::optional<Audio> audio;
    std::int64_t duration; // of every stream found
    bool dvInfo;
    bool wide;
};

void PrintTo(const ProbeCase &row, std::ostream *os)
{
    *os << row.name;
}

class ProbeTable : public ::testing::TestWithParam<ProbeCase>
{};

TEST_P(ProbeTable, FindsTheFilesStreamsAndFirstFrame)
{
    const ProbeCase &row = GetParam();
    HangGuard guard(60s, row.name);
    QTemporaryDir tmp;
    const QString path = row.make(tmp.path());
    const bool exists = QFileInfo::exists(path);
    const QByteArray before = exists ? readFileBytes(path) : QByteArray();
    const QDateTime modified = QFileInfo(path).lastModified();

    TdmList list;
    const ProbeValues v = list.ReadDVInfo(path);

    ASSERT_EQ(v.ok, row.ok);
    EXPECT_EQ(v.streamCount, row.streams);
    EXPECT_EQ(v.hasDv, row.dv);
    ASSERT_EQ(v.video.has_value(), row.video.has_value());
    if (row.video) {
        EXPECT_EQ(v.video->compression, row.video->compression);
        EXPECT_EQ(v.video->width, row.video->width);
        EXPECT_EQ(v.video->height, row.video->height);
        EXPECT_EQ(v.video->avgTimePerFrame, row.video->frameTime);
        EXPECT_EQ(v.videoDuration, row.duration);
    }
    ASSERT_EQ(v.audio.has_value(), row.audio.has_value());
    if (row.audio) {
        EXPECT_EQ(v.audio->formatTag, 1); // PCM
        EXPECT_EQ(v.audio->samplesPerSec, row.audio->rate);
        EXPECT_EQ(v.audio->channels, row.audio->channels);
        EXPECT_EQ(v.audio->bitsPerSample, row.audio->bits);
        EXPECT_EQ(v.audioDuration, row.duration);
    }
    EXPECT_EQ(v.dvInfo.has_value(), row.dvInfo);
    // Every DV clip carries ffmpeg's date and time code in each frame.
    EXPECT_EQ(v.hasDate, row.dv);
    EXPECT_EQ(v.hasTimecode, row.dv);
    if (row.dv) {
        EXPECT_EQ(v.recDateTime, Recorded());
        EXPECT_EQ(v.timecode.Hours, 1);
        EXPECT_EQ(v.timecode.Minutes, 2);
        EXPECT_EQ(v.timecode.Seconds, 3);
        EXPECT_EQ(v.timecode.Frames, 4);
    }
    EXPECT_EQ(v.wide, row.wide);

    EXPECT_EQ(QFileInfo::exists(path), exists);
    if (exists) {
        EXPECT_EQ(readFileBytes(path), before);
        EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    }
}

const Video kPalDv{kDvsd, 720, 576, kPalFrame};
// The DV splitter states the 525-line system's own frame time; an AVI video
// stream, its scale/rate in whole 100 ns units (1001/30000 s).
const Video kNtscDv{kDvsd, 720, 480, 333667};
const Video kNtscDvStream{kDvsd, 720, 480, 333666};
const Audio kDvAudio{48000, 2, 16};

INSTANTIATE_TEST_SUITE_P(
    Files, ProbeTable,
    ::testing::Values(
        // The interleaved stream passes the detector; the DV splitter's
        // outputs give video and audio, with the interleaved duration.
        ProbeCase{"Type1Pal", [](const QString &d) { return Type1(d, {}); }, true, 1, true, kPalDv,
                  kDvAudio, 3 * kPalFrame, true, false},
        ProbeCase{"Type1Ntsc", [](const QString &d) { return Type1(d, {.ntsc = true}); }, true, 1,
                  true, kNtscDv, kDvAudio, kNtscClip, true, false},
        // A DV video stream and an audio stream, no DVINFO.
        ProbeCase{"Type2Pal", [](const QString &d) { return Type2(d, {}); }, true, 2, true, kPalDv,
                  kDvAudio, 3 * kPalFrame, false, false},
        ProbeCase{"Type2Wide", [](const QString &d) { return Type2(d, {.wide = true}); }, true, 2,
                  true, kPalDv, kDvAudio, 3 * kPalFrame, false, true},
        ProbeCase{"Type2Ntsc", [](const QString &d) { return Type2(d, {.ntsc = true}); }, true, 2,
                  true, kNtscDvStream, kDvAudio, kNtscClip, false, false},
        ProbeCase{"Type2NoAudio", [](const QString &d) { return Type2(d, {}, false); }, true, 1,
                  true, kPalDv, std::nullopt, 3 * kPalFrame, false, false},
        // Nothing passes the detector.
        ProbeCase{"MotionJpeg",
                  [](const QString &d) {
                      const QString path = QDir(d).filePath("mjpeg.avi");
                      ffmpegMake({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f",
                                  "lavfi", "-i", "sine=sample_rate=44100", "-frames:v", "5", "-t",
                                  "0.2", "-ac", "1", "-c:v", "mjpeg", "-c:a", "pcm_s16le", path});
                      return path;
                  },
                  true, 2, false, Video{kMjpg, 320, 240, kPalFrame}, Audio{44100, 1, 16},
                  5 * kPalFrame, false, false},
        ProbeCase{"AudioOnly",
                  [](const QString &d) {
                      const QString path = QDir(d).filePath("sound.avi");
                      ffmpegMake({"-f", "lavfi", "-i", "sine=sample_rate=32000", "-t", "0.5",
                                  "-c:a", "pcm_s16le", path});
                      return path;
                  },
                  true, 1, false, std::nullopt, Audio{32000, 1, 16}, 5'000'000, false, false},
        // The source opens it, the AVI splitter refuses it: nothing found.
        ProbeCase{"TextNamedAvi",
                  [](const QString &d) {
                      const QString path = QDir(d).filePath("notes.avi");
                      writeFileBytes(path, "not a video\n");
                      return path;
                  },
                  true, 0, false, std::nullopt, std::nullopt, 0, false, false},
        ProbeCase{"MissingFile", [](const QString &d) { return QDir(d).filePath("gone.avi"); },
                  false, 0, false, std::nullopt, std::nullopt, 0, false, false}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

// One module probes file after file: nothing of a DV file is left in the
// values of the next one, whether it is not DV at all or a DV stream that
// brings no frame within the wait.
TEST(ProbeGraph, EveryValueBelongsToTheFileProbed)
{
    HangGuard guard(60s, "probes in a row");
    QTemporaryDir tmp;
    const QString dated = Type2(tmp.path(), {});
    const QString text = QDir(tmp.path()).filePath("text.avi");
    writeFileBytes(text, "plain text");
    AviLayout empty = dvType2Layout();
    empty.frames = 0;
    const QString frameless = QDir(tmp.path()).filePath("frameless.avi");
    writeFileBytes(frameless, buildAvi(empty).bytes);

    TdmList list;
    const ProbeValues first = list.ReadDVInfo(dated);
    ASSERT_TRUE(first.hasDate);

    const ProbeValues notDv = list.ReadDVInfo(text);
    EXPECT_TRUE(notDv.ok);
    EXPECT_FALSE(notDv.hasDv);
    EXPECT_FALSE(notDv.hasDate);
    EXPECT_FALSE(notDv.hasTimecode);
    EXPECT_FALSE(notDv.video);

    const ProbeValues noFrame = list.ReadDVInfo(frameless);
    EXPECT_TRUE(noFrame.ok);
    EXPECT_TRUE(noFrame.hasDv);
    EXPECT_FALSE(noFrame.hasDate);
    EXPECT_FALSE(noFrame.hasTimecode);
    EXPECT_FALSE(noFrame.wide);

    // And the module still reads a DV file after those.
    EXPECT_EQ(list.ReadDVInfo(dated).recDateTime, Recorded());
}

// The module keeps one detector for every probe: a value that the next file's
// first frame does not state (here the display mode: no VAUX source control
// pack) is not the previous file's.
TEST(ProbeGraph, AValueTheFirstFrameLacksIsNotThePreviousFiles)
{
    HangGuard guard(60s, "a 16:9 file, then a file without display mode");
    QTemporaryDir tmp;
    const QString wide = Type1(tmp.path(), {.wide = true});

    // Blank frames with a time code and nothing else.
    DvFrame frame(DvStandard::Pal);
    for (int seq = 0; seq < frame.sequences(); ++seq)
        frame.setPack(subcodeSlot(seq, 0, 0), timecodePack(1, 2, 3, 4));
    QByteArray raw;
    for (int f = 0; f < 3; ++f)
        raw += frame.toByteArray();
    const QString unmarked = QDir(tmp.path()).filePath("unmarked.avi");
    writeFileBytes(unmarked, dvType1Avi(raw));

    TdmList list;
    ASSERT_TRUE(list.ReadDVInfo(wide).wide);
    const ProbeValues next = list.ReadDVInfo(unmarked);
    EXPECT_TRUE(next.hasDv);
    EXPECT_TRUE(next.hasTimecode) << "no frame of the second file was read";
    EXPECT_FALSE(next.hasDate);
    EXPECT_FALSE(next.wide);
}

} // namespace
} // namespace vidora
