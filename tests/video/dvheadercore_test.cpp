#include "video/filters/dvheadercore.h"

#include "formats/dvcodes.h"
#include "support/dvframe.h"
#include "support/tools.h"
#include "video/filters/scenedetectcore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

std::vector<std::uint8_t> bytesOf(const DvFrame &frame)
{
    return {frame.bytes().begin(), frame.bytes().end()};
}

struct DateTimeDigits
{
    int year, month, day, hour, minute, second; // two-digit year
};

// Date and time in two subcode slots and two VAUX slots of every sequence, a
// time code and a source control pack beside them, and AAUX packs in the audio
// blocks: what the date shift must and must not touch.
DvFrame datedFrame(DvStandard standard, const DateTimeDigits &at)
{
    DvFrame frame(standard);
    for (int s = 0; s < frame.sequences(); ++s) {
        frame.setPack(subcodeSlot(s, 0, 0), timecodePack(23, 59, 59, 20));
        frame.setPack(subcodeSlot(s, 0, 1), recDatePack(at.day, at.month, at.year, 3));
        frame.setPack(subcodeSlot(s, 1, 4), recTimePack(at.hour, at.minute, at.second));
        frame.setPack(vauxSlot(s, 0, 0), vauxSourceControlPack(0));
        for (int b = 0; b < 3; ++b) {
            frame.setPack(vauxSlot(s, b, 1), recDatePack(at.day, at.month, at.year, 3));
            frame.setPack(vauxSlot(s, b, 2), recTimePack(at.hour, at.minute, at.second));
        }
        frame.setAauxPack(s, 0, aauxSourcePack(0xD6, 0x00, 0xE0, 0xC8));
        frame.setAauxPack(s, 1, {0x62, 0xFF, 0xF1, 0xF2, 0x06}); // a stray, not a pack slot
    }
    return frame;
}

TEST(DvHeaderDateShift, RewritesEveryDatePackAndNothingElse)
{
    const struct
    {
        const char *name;
        DvStandard standard;
        double offset;
        DateTimeDigits before;
        DateTimeDigits after;
    } cases[] = {
        {"an hour across a year end",
         DvStandard::Pal,
         1.0 / 24,
         {6, 12, 31, 23, 30, 0},
         {7, 1, 1, 0, 30, 0}},
        {"an hour across a year end, 525 lines",
         DvStandard::Ntsc,
         1.0 / 24,
         {6, 12, 31, 23, 30, 0},
         {7, 1, 1, 0, 30, 0}},
        {"a day back keeps the time",
         DvStandard::Pal,
         -1.0,
         {6, 3, 1, 10, 11, 12},
         {6, 2, 28, 10, 11, 12}},
        {"a day back into a leap day",
         DvStandard::Pal,
         -1.0,
         {4, 3, 1, 0, 0, 0},
         {4, 2, 29, 0, 0, 0}},
        {"seconds across midnight",
         DvStandard::Pal,
         2.0 / 86400,
         {99, 12, 31, 23, 59, 59},
         {0, 1, 1, 0, 0, 1}},
        {"less than a millisecond is dropped",
         DvStandard::Pal,
         0.4 / 86400000,
         {6, 5, 14, 10, 0, 0},
         {6, 5, 14, 10, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DvHeaderCore header(nullptr);
        header.setDateOffset(c.offset);
        DvFrame frame = datedFrame(c.standard, c.before);
        ASSERT_TRUE(header.processFrame(frame.bytes()));
        EXPECT_EQ(bytesOf(frame), bytesOf(datedFrame(c.standard, c.after)));
    }
}

TEST(DvHeaderDateShift, FramesWithoutAValidDateStay)
{
    DvFrame noDate(DvStandard::Pal);
    noDate.setPack(subcodeSlot(0, 0, 0), timecodePack(1, 2, 3, 4));
    DvFrame invalid = datedFrame(DvStandard::Pal, {6, 2, 30, 10, 0, 0}); // 30 February
    for (DvFrame *frame : {&noDate, &invalid}) {
        const std::vector<std::uint8_t> before = bytesOf(*frame);
        DvHeaderCore header(nullptr);
        header.setDateOffset(1.0);
        EXPECT_TRUE(header.processFrame(frame->bytes()));
        EXPECT_EQ(bytesOf(*frame), before);
    }
    // An offset that would leave the calendar.
    DvFrame dated = datedFrame(DvStandard::Pal, {6, 5, 14, 10, 0, 0});
    const std::vector<std::uint8_t> before = bytesOf(dated);
    EXPECT_FALSE(ShiftDvRecDateTime(dated.bytes(), 12, 1e7));
    EXPECT_EQ(bytesOf(dated), before);
}

TEST(DvHeaderAspect, RewritesOnlyTheDisplayModeBits)
{
    const auto controlFrame = [](DvStandard standard, int mode, std::uint8_t header12) {
        DvFrame frame(standard);
        for (int s = 0; s < frame.sequences(); ++s) {
            frame.setHeaderByte(s, 12, header12);
            frame.setPack(vauxSlot(s, 0, 0), vauxSourceControlPack(mode, 0xC8));
            frame.setPack(vauxSlot(s, 2, 7), vauxSourceControlPack(mode, 0x30));
            frame.setPack(subcodeSlot(s, 0, 2), recDatePack(14, 5, 6));
        }
        return frame;
    };
    const struct
    {
        const char *name;
        DvStandard standard;
        int modeBefore;
        std::uint8_t header12;
        bool wide;
        int modeAfter;
    } cases[] = {
        {"4:3 to 16:9", DvStandard::Pal, 0, 0xFF, true, 2},
        {"4:3 to 16:9 where the header asks for mode 7", DvStandard::Ntsc, 0, 0xF8, true, 7},
        {"16:9 to 4:3", DvStandard::Pal, 2, 0xFF, false, 0},
        {"mode 7 to 4:3", DvStandard::Ntsc, 7, 0xF8, false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DvHeaderCore header(nullptr);
        header.setWriteAspect(true);
        header.setAspectWide(c.wide);
        DvFrame frame = controlFrame(c.standard, c.modeBefore, c.header12);
        ASSERT_TRUE(header.processFrame(frame.bytes()));
        EXPECT_EQ(bytesOf(frame), bytesOf(controlFrame(c.standard, c.modeAfter, c.header12)));
    }
}

TEST(DvHeaderCore, ChangesNothingUnlessAsked)
{
    DvSceneDetectCore detector;
    detector.startStreaming(0);
    const DvFrame source = datedFrame(DvStandard::Pal, {6, 5, 14, 10, 0, 0});
    ASSERT_TRUE(detector.processFrame(source.bytes()));

    DvHeaderCore header(&detector);
    EXPECT_TRUE(header.copyHeaders());
    EXPECT_EQ(header.dateOffset(), 0.0);
    EXPECT_FALSE(header.writeAspect());
    header.setCopyHeaders(false);
    DvFrame frame(DvStandard::Pal);
    EXPECT_TRUE(header.processFrame(frame.bytes()));
    EXPECT_EQ(bytesOf(frame), bytesOf(DvFrame(DvStandard::Pal)));

    // A sample of another size passes untouched whatever the options.
    header.setCopyHeaders(true);
    header.setDateOffset(1.0);
    header.setWriteAspect(true);
    header.setAspectWide(true);
    std::vector<std::uint8_t> small(100, 0x62);
    EXPECT_FALSE(header.processFrame(small));
    EXPECT_EQ(small, std::vector<std::uint8_t>(100, 0x62));
}

// ---------------------------------------------------------------------------
// Copying the source's packs into re-encoded frames

// The frame offsets of every subcode and VAUX pack, by the builder's layout.
std::set<std::size_t> packBytes(const DvFrame &frame)
{
    std::set<std::size_t> bytes;
    for (int s = 0; s < frame.sequences(); ++s) {
        std::vector<DvPackSlot> packSlots;
        for (int b = 0; b < 2; ++b)
            for (int k = 0; k < 6; ++k)
                packSlots.push_back(subcodeSlot(s, b, k));
        for (int b = 0; b < 3; ++b)
            for (int k = 0; k < 15; ++k)
                packSlots.push_back(vauxSlot(s, b, k));
        for (const DvPackSlot &slot : packSlots)
            for (std::size_t i = 0; i < 5; ++i)
                bytes.insert(DvFrame::packOffset(slot) + i);
    }
    return bytes;
}

// A source as a camcorder writes it: every pack slot used, a 0x60 pack among
// them, header bytes of its own.
DvFrame sourceFrame(DvStandard standard, int timecodeFrames)
{
    DvFrame frame(standard);
    for (int s = 0; s < frame.sequences(); ++s) {
        frame.setHeaderByte(s, 4, 0x68);
        for (int b = 0; b < 2; ++b)
            for (int k = 0; k < 6; ++k)
                frame.setPack(subcodeSlot(s, b, k), k % 2 == 0
                                                        ? timecodePack(1, 2, 3, timecodeFrames)
                                                        : recDatePack(1 + s, 1 + b, 6));
        for (int b = 0; b < 3; ++b)
            for (int k = 0; k < 15; ++k)
                frame.setPack(vauxSlot(s, b, k),
                              {static_cast<std::uint8_t>(0x70 + k), static_cast<std::uint8_t>(s),
                               static_cast<std::uint8_t>(b), 0x11, 0x22});
        frame.setPack(vauxSlot(s, 0, 3), {0x60, 0xFF, 0xFF, 0xF0, 0xFF});
        frame.setPack(vauxSlot(s, 2, 14), timecodePack(1, 2, 3, timecodeFrames, 0x40));
    }
    return frame;
}

// An encoder's frame: its own 0x60 and 0x61 packs, elsewhere than the source's.
DvFrame encodedFrame(DvStandard standard)
{
    DvFrame frame(standard);
    for (int s = 0; s < frame.sequences(); ++s) {
        frame.setPack(vauxSlot(s, 1, 9), {0x60, 0xFF, 0xFF, 0x00, 0xFF});
        frame.setPack(vauxSlot(s, 1, 10), vauxSourceControlPack(0));
        frame.setByte(DvFrame::blockOffset(s, 7) + 10, 0x5A); // picture data
    }
    return frame;
}

TEST(DvHeaderCopy, CopiesPacksButNotTheSystemInformation)
{
    const struct
    {
        const char *name;
        DvStandard source;
        DvStandard target;
        int sourceFrames;
        int targetFrames; // the time code's frame field after the copy
    } cases[] = {
        {"625 into 625", DvStandard::Pal, DvStandard::Pal, 24, 24},
        {"525 into 525", DvStandard::Ntsc, DvStandard::Ntsc, 29, 29},
        {"525 into 625", DvStandard::Ntsc, DvStandard::Pal, 29, 24},
        {"525 into 625, exact", DvStandard::Ntsc, DvStandard::Pal, 6, 5},
        {"625 into 525", DvStandard::Pal, DvStandard::Ntsc, 24, 28},
        {"625 into 525, from 0", DvStandard::Pal, DvStandard::Ntsc, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DvSceneDetectCore detector;
        detector.startStreaming(0);
        const DvFrame source = sourceFrame(c.source, c.sourceFrames);
        ASSERT_TRUE(detector.processFrame(source.bytes()));

        DvHeaderCore header(&detector);
        const DvFrame original = encodedFrame(c.target);
        DvFrame frame = original;
        ASSERT_TRUE(header.processFrame(frame.bytes()));

        const std::set<std::size_t> packs = packBytes(frame);
        const auto at = [](const DvFrame &f, std::size_t offset) { return f.bytes()[offset]; };
        for (std::size_t offset = 0; offset < frame.size(); ++offset) {
            if (!packs.contains(offset)) {
                ASSERT_EQ(at(frame, offset), at(original, offset)) << "not a pack: " << offset;
            }
        }
        for (int s = 0; s < frame.sequences(); ++s) {
            SCOPED_TRACE(testing::Message() << "sequence " << s);
            const int from = s % source.sequences();
            // The encoder's own 0x60 stays, and the source's 0x60 is not copied.
            EXPECT_EQ(frame.pack(vauxSlot(s, 1, 9)), original.pack(vauxSlot(s, 1, 9)));
            EXPECT_NE(frame.pack(vauxSlot(s, 0, 3))[0], 0x60);
            // Every other pack is the source's, the time codes' frames scaled.
            EXPECT_EQ(frame.pack(vauxSlot(s, 1, 10)), source.pack(vauxSlot(from, 1, 10)));
            EXPECT_EQ(frame.pack(subcodeSlot(s, 1, 5)), source.pack(subcodeSlot(from, 1, 5)));
            EXPECT_EQ(frame.pack(subcodeSlot(s, 0, 0)), timecodePack(1, 2, 3, c.targetFrames));
            EXPECT_EQ(frame.pack(vauxSlot(s, 2, 14)), timecodePack(1, 2, 3, c.targetFrames, 0x40));
        }
    }
}

// A camcorder's frame: the main VAUX area (0x60 to 0x63) in VAUX block 2 of
// the even sequences and block 0 of the odd ones, camera packs in block 0 of
// the even ones, the time code in the subcode.
DvFrame camcorderFrame(DvStandard standard, int displayMode)
{
    DvFrame frame(standard);
    for (int s = 0; s < frame.sequences(); ++s) {
        const int block = s % 2 == 0 ? 2 : 0;
        const int first = s % 2 == 0 ? 9 : 0;
        frame.setPack(vauxSlot(s, block, first), {0x60, 0xFF, 0xFF, 0xE0, 0xFF});
        frame.setPack(vauxSlot(s, block, first + 1), vauxSourceControlPack(displayMode));
        frame.setPack(vauxSlot(s, block, first + 2), recDatePack(7, 6, 5));
        frame.setPack(vauxSlot(s, block, first + 3), recTimePack(8, 9, 10));
        if (s % 2 == 0)
            for (int k = 1; k <= 3; ++k)
                frame.setPack(vauxSlot(s, 0, k), {std::uint8_t(0x70 + k), 1, 2, 3, 4});
        frame.setPack(subcodeSlot(s, 0, 0), timecodePack(1, 2, 3, 4));
    }
    return frame;
}

// The DV encoder's frame: 0x60 and 0x61 at the start of each half of every
// VAUX block, nothing else.
DvFrame encoderLayoutFrame(DvStandard standard)
{
    DvFrame frame(standard);
    for (int s = 0; s < frame.sequences(); ++s)
        for (int b = 0; b < 3; ++b)
            for (const int k : {0, 9}) {
                frame.setPack(vauxSlot(s, b, k), {0x60, 0xFF, 0xFF, 0x00, 0xFF});
                frame.setPack(vauxSlot(s, b, k + 1), vauxSourceControlPack(0, 0x38));
            }
    return frame;
}

// Readers take the date from the packs after a frame's first 0x60: each of
// the encoder's 0x60 packs is followed by the source's 0x61, 0x62 and 0x63,
// and the camera packs that stood there move to empty slots.
TEST(DvHeaderCopy, DateAndDisplayModeFollowEachSourcePack)
{
    for (const DvStandard standard : {DvStandard::Pal, DvStandard::Ntsc}) {
        SCOPED_TRACE(standard == DvStandard::Pal ? "625" : "525");
        DvSceneDetectCore detector;
        detector.startStreaming(0);
        const DvFrame source = camcorderFrame(standard, 2);
        ASSERT_TRUE(detector.processFrame(source.bytes()));
        DvHeaderCore header(&detector);
        const DvFrame original = encoderLayoutFrame(standard);
        DvFrame frame = original;
        ASSERT_TRUE(header.processFrame(frame.bytes()));

        for (int s = 0; s < frame.sequences(); ++s) {
            SCOPED_TRACE(testing::Message() << "sequence " << s);
            std::multiset<std::uint8_t> ids;
            for (int b = 0; b < 3; ++b) {
                for (const int k : {0, 9}) {
                    EXPECT_EQ(frame.pack(vauxSlot(s, b, k)), original.pack(vauxSlot(s, b, k)));
                    EXPECT_EQ(frame.pack(vauxSlot(s, b, k + 1)), vauxSourceControlPack(2));
                    EXPECT_EQ(frame.pack(vauxSlot(s, b, k + 2)), recDatePack(7, 6, 5));
                    EXPECT_EQ(frame.pack(vauxSlot(s, b, k + 3)), recTimePack(8, 9, 10));
                }
                for (int k = 0; k < 15; ++k)
                    ids.insert(frame.pack(vauxSlot(s, b, k))[0]);
            }
            for (const std::uint8_t camera : std::initializer_list<std::uint8_t>{0x71, 0x72, 0x73})
                EXPECT_EQ(ids.count(camera), s % 2 == 0 ? 1u : 0u) << int(camera);
            EXPECT_EQ(frame.pack(subcodeSlot(s, 0, 0)), timecodePack(1, 2, 3, 4));
        }
        bool wide = false;
        ASSERT_TRUE(ReadDvWideFlag(frame.bytes(), frame.sequences(), wide));
        EXPECT_TRUE(wide);
    }
}

TEST(DvHeaderCopy, NothingBeforeTheDetectorHasSeenAFrame)
{
    DvSceneDetectCore detector;
    DvHeaderCore header(&detector);
    DvFrame frame = encodedFrame(DvStandard::Pal);
    const std::vector<std::uint8_t> before = bytesOf(frame);
    EXPECT_TRUE(header.processFrame(frame.bytes()));
    EXPECT_EQ(bytesOf(frame), before);

    // Nor after a new run has started and before its first frame.
    detector.startStreaming(0);
    ASSERT_TRUE(detector.processFrame(sourceFrame(DvStandard::Pal, 3).bytes()));
    detector.stop();
    detector.startStreaming(0);
    EXPECT_TRUE(header.processFrame(frame.bytes()));
    EXPECT_EQ(bytesOf(frame), before);
}

TEST(DvHeaderCopy, DateShiftAppliesToTheCopiedPacks)
{
    DvSceneDetectCore detector;
    detector.startStreaming(0);
    ASSERT_TRUE(detector.processFrame(datedFrame(DvStandard::Pal, {6, 12, 31, 23, 30, 0}).bytes()));
    DvHeaderCore header(&detector);
    header.setDateOffset(1.0 / 24);
    header.setWriteAspect(true);
    header.setAspectWide(true);
    DvFrame frame(DvStandard::Pal);
    ASSERT_TRUE(header.processFrame(frame.bytes()));

    TDvRecDateTime date;
    ASSERT_TRUE(ReadDvRecDateTime(frame.bytes(), 12, date));
    EXPECT_EQ(date.Year, 2007);
    EXPECT_EQ(date.Month, 1);
    EXPECT_EQ(date.Day, 1);
    EXPECT_EQ(date.Hour, 0);
    EXPECT_EQ(date.Minute, 30);
    bool wide = false;
    ASSERT_TRUE(ReadDvWideFlag(frame.bytes(), 12, wide));
    EXPECT_TRUE(wide);
}

// ---------------------------------------------------------------------------
// Independent check: frames encoded by ffmpeg in one system, given the packs
// of frames of the other, still decode as their own system (ffmpeg reads the
// header block) and are still named so (mediainfo reads the 0x60 pack).

QByteArray makeDv(const QString &dir, bool ntsc, const QString &creationTime,
                  const QString &timecode)
{
    const QString path = dir + (ntsc ? "/ntsc.dv" : "/pal.dv");
    QStringList args =
        QString("-hide_banner -loglevel error -f lavfi -i %1 -f lavfi -i "
                "sine=sample_rate=48000 -t 0.2 -ac 2 -pix_fmt %2 -metadata "
                "creation_time=%3 -timecode %4 -f dv")
            .arg(ntsc ? "testsrc=size=720x480:rate=30000/1001" : "testsrc=size=720x576:rate=25",
                 ntsc ? "yuv411p" : "yuv420p", creationTime, timecode)
            .split(' ');
    args << path;
    const ToolResult made = runTool("ffmpeg", args);
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    return readFileBytes(path);
}

std::span<std::uint8_t> frameOf(QByteArray &file, std::size_t frameBytes, std::size_t i)
{
    return {reinterpret_cast<std::uint8_t *>(file.data()) + i * frameBytes, frameBytes};
}

TEST(DvHeaderCopyFfmpeg, CrossStandardFramesDecodeAsTheirOwnSystem)
{
    if (!runTool("ffmpeg", {"-version"}, 30000).started)
        FAIL() << "ffmpeg is not installed (scripts/setup installs it)";
    for (const bool sourceNtsc : {true, false}) {
        SCOPED_TRACE(sourceNtsc ? "525 into 625" : "625 into 525");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QByteArray source = makeDv(dir.path(), sourceNtsc, "2004-08-09T10:11:12Z",
                                   sourceNtsc ? "00:00:00:24" : "00:00:00:19");
        QByteArray target = makeDv(dir.path(), !sourceNtsc, "2020-01-02T03:04:05Z", "05:00:00:00");
        const std::size_t sourceBytes = sourceNtsc ? 120000 : 144000;
        const std::size_t targetBytes = sourceNtsc ? 144000 : 120000;
        const int targetSeq = sourceNtsc ? 12 : 10;
        const std::size_t frames = std::min(static_cast<std::size_t>(source.size()) / sourceBytes,
                                            static_cast<std::size_t>(target.size()) / targetBytes);
        ASSERT_GE(frames, 4u);

        DvSceneDetectCore detector;
        DvHeaderCore header(&detector);
        detector.startStreaming(0);
        for (std::size_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(detector.processFrame(frameOf(source, sourceBytes, i)));
            const auto frame = frameOf(target, targetBytes, i);
            ASSERT_TRUE(header.processFrame(frame));

            TDvRecDateTime date;
            ASSERT_TRUE(ReadDvRecDateTime(frame, targetSeq, date));
            EXPECT_EQ(date.Year, 2004);
            EXPECT_EQ(date.Second, 12);
            TDvTimecode tc;
            ASSERT_TRUE(ReadDvTimecode(frame, targetSeq, tc));
            const int sourceFrames = (sourceNtsc ? 24 : 19) + static_cast<int>(i);
            const int expected = sourceNtsc ? sourceFrames * 25 / 30 : sourceFrames * 30 / 25;
            EXPECT_EQ(tc.Frames, expected) << "frame " << i;
            EXPECT_EQ(tc.Hours, 0);
            bool is525 = sourceNtsc;
            ASSERT_TRUE(ReadDvSystem(frame, is525));
            EXPECT_EQ(is525, !sourceNtsc);
        }
        detector.stop();
        target.truncate(static_cast<qsizetype>(frames * targetBytes));
        const QString out = dir.filePath("rewritten.dv");
        writeFileBytes(out, target);

        const ToolResult decoded =
            runTool("ffmpeg", {"-hide_banner", "-v", "error", "-i", out, "-f", "null", "-"});
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_TRUE(decoded.err.trimmed().isEmpty()) << decoded.err.toStdString();

        const ToolResult probe =
            runTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "stream=width,height,r_frame_rate", "-of", "csv=p=0", out});
        ASSERT_EQ(probe.exitCode, 0) << probe.err.toStdString();
        EXPECT_EQ(probe.out.trimmed().toStdString(),
                  sourceNtsc ? "720,576,25/1" : "720,480,30000/1001");

        if (runTool("mediainfo", {"--Version"}, 30000).started) {
            const ToolResult info =
                runTool("mediainfo", {"--Inform=Video;%Standard% %FrameRate%", out});
            ASSERT_EQ(info.exitCode, 0) << info.err.toStdString();
            EXPECT_EQ(info.out.trimmed().toStdString(), sourceNtsc ? "PAL 25.000" : "NTSC 29.970");
        }
    }
}

} // namespace
