#include "video/filters/scenedetectcore.h"

#include "formats/datetime.h"
#include "video/dvfacts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

// A run of identical frames.
struct Segment
{
    int frames;
    DvFacts facts;
};

DvFacts dated(int seconds)
{
    DvFacts facts;
    facts.recorded = recordedAt(seconds);
    return facts;
}

DvFacts undated()
{
    return DvFacts{};
}

template <typename Change>
DvFacts with(DvFacts facts, Change change)
{
    change(facts);
    return facts;
}

void feed(DvSceneDetectCore &detector, const std::vector<Segment> &segments)
{
    for (const Segment &segment : segments) {
        const DvFrame frame = buildDvFrame(segment.facts);
        for (int i = 0; i < segment.frames; ++i)
            ASSERT_TRUE(detector.processFrame(frame.bytes()));
    }
}

using Scenes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The (start, end) pairs of a whole run, the final scene of the stop included.
Scenes scenesOf(const std::vector<Segment> &segments)
{
    DvSceneDetectCore detector;
    Scenes scenes;
    detector.setOnScene([&scenes](const TDvFrameInfo &start, const TDvFrameInfo &end) {
        scenes.emplace_back(start.FrameNumber, end.FrameNumber);
    });
    detector.startStreaming(400000);
    feed(detector, segments);
    detector.stop();
    return scenes;
}

struct BreakCase
{
    const char *name;
    std::vector<Segment> segments;
    Scenes expected;
};

void PrintTo(const BreakCase &c, std::ostream *os)
{
    *os << c.name;
}

const auto rate32k = [](DvFacts &f) { f.rateCode = 2; };
const auto bits12 = [](DvFacts &f) { f.quantisation = 1; };
const auto wide = [](DvFacts &f) { f.wide = true; };
const auto ntsc = [](DvFacts &f) { f.standard = DvStandard::Ntsc; };
const auto fourChannels = [](DvFacts &f) { f.fourChannels = true; };
const auto noAux = [](DvFacts &f) { f.aux = false; };

class SceneBreaks : public ::testing::TestWithParam<BreakCase>
{};

TEST_P(SceneBreaks, ReportTheExpectedScenes)
{
    EXPECT_EQ(scenesOf(GetParam().segments), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SceneBreaks, ::testing::Values(
    BreakCase{"Jump4sContinues", {{5, dated(0)}, {5, dated(4)}}, {{0, 10}}},
    BreakCase{"Jump5sContinues", {{5, dated(0)}, {5, dated(5)}}, {{0, 10}}},
    BreakCase{"Jump6sBreaks", {{5, dated(0)}, {5, dated(6)}}, {{0, 5}, {5, 10}}},
    BreakCase{"BackwardsBreaks", {{5, dated(6)}, {5, dated(0)}}, {{0, 5}, {5, 10}}},
    // The first dated frame sets the reference; the next one compares with it.
    BreakCase{"SecondFrameComparesWithFirst", {{1, dated(0)}, {4, dated(100)}}, {{0, 1}, {1, 5}}},
    BreakCase{"DateLostAndBackWithin12", {{100, dated(0)}, {10, undated()}, {10, dated(0)}},
              {{0, 100}, {100, 120}}},
    BreakCase{"DateBackAfterExactly12", {{100, dated(0)}, {12, undated()}, {8, dated(0)}},
              {{0, 100}, {100, 120}}},
    BreakCase{"DateBackBeyond12", {{100, dated(0)}, {13, undated()}, {7, dated(0)}},
              {{0, 100}, {100, 113}, {113, 120}}},
    // The date that returns becomes the reference, whatever it is.
    BreakCase{"ReturningDateIsNotAJump", {{5, dated(0)}, {3, undated()}, {5, dated(3600)}},
              {{0, 5}, {5, 13}}},
    BreakCase{"DateLostAtFrame0", {{5, undated()}, {5, dated(0)}}, {{0, 10}}},
    BreakCase{"SampleRateBreaks", {{5, dated(0)}, {5, with(dated(0), rate32k)}}, {{0, 5}, {5, 10}}},
    BreakCase{"BitsBreak", {{5, dated(0)}, {5, with(dated(0), bits12)}}, {{0, 5}, {5, 10}}},
    BreakCase{"WideBreaks", {{5, dated(0)}, {5, with(dated(0), wide)}}, {{0, 5}, {5, 10}}},
    BreakCase{"LineSystemBreaks", {{5, dated(0)}, {5, with(dated(0), ntsc)}}, {{0, 5}, {5, 10}}},
    BreakCase{"ChannelsIgnored", {{5, dated(0)}, {5, with(dated(0), fourChannels)}}, {{0, 10}}},
    // Compared with the scene's first frame, not the previous one.
    BreakCase{"FormatBackWithinScene",
              {{5, dated(0)}, {1, with(dated(0), rate32k)}, {4, dated(0)}},
              {{0, 5}, {5, 6}, {6, 10}}},
    BreakCase{"SceneWithoutAuxNeverBreaksOnFormat",
              {{5, with(dated(0), noAux)}, {5, with(dated(0), rate32k)},
               {5, with(dated(10), rate32k)}, {5, dated(10)}},
              {{0, 10}, {10, 15}, {15, 20}}},
    BreakCase{"FormatChangeAndDateLostOnOneFrame",
              {{5, dated(0)}, {5, with(undated(), rate32k)}},
              {{0, 5}, {5, 5}, {5, 10}}},
    // A format change clears the reference, so the jump on the same frame
    // does not break a second time.
    BreakCase{"FormatChangeAndJumpOnOneFrame",
              {{5, dated(0)}, {5, with(dated(100), rate32k)}},
              {{0, 5}, {5, 10}}}),
    [](const ::testing::TestParamInfo<BreakCase> &caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST(SceneDetect, OtherSamplesPassWithoutCounting)
{
    DvSceneDetectCore detector;
    detector.startStreaming(400000);
    const DvFrame frame = buildDvFrame(dated(0));
    ASSERT_TRUE(detector.processFrame(frame.bytes()));
    const std::vector<std::uint8_t> other(100, 0x62);
    EXPECT_FALSE(detector.processFrame(other));
    EXPECT_FALSE(detector.processFrame(frame.bytes().first(143999)));
    EXPECT_FALSE(detector.processFrame({}));
    EXPECT_EQ(detector.currentInfo().FrameNumber, 1u);
    EXPECT_EQ(detector.lastInfo().FrameNumber, 0u);
}

TEST(SceneDetect, FrameInformation)
{
    DvSceneDetectCore detector;
    detector.startStreaming(0);
    DvFacts facts = with(dated(3 * 3600 + 31 * 60 + 7), fourChannels);
    facts.timecodeFrames = 17;
    facts.wide = true;
    facts.rateCode = 1;
    ASSERT_TRUE(detector.processFrame(buildDvFrame(facts).bytes()));

    const TDvFrameInfo info = detector.lastInfo();
    EXPECT_EQ(info.FrameNumber, 0u);
    EXPECT_TRUE(info.HasDate);
    EXPECT_EQ(info.RecDateTime, EncodeDateTime({{2006, 5, 14}, {13, 31, 7, 0}}));
    EXPECT_TRUE(info.HasTimecode);
    EXPECT_EQ(info.Timecode.Hours, 1);
    EXPECT_EQ(info.Timecode.Minutes, 2);
    EXPECT_EQ(info.Timecode.Seconds, 3);
    EXPECT_EQ(info.Timecode.Frames, 17);
    EXPECT_TRUE(info.AuxValid);
    EXPECT_TRUE(info.Wide);
    EXPECT_FALSE(info.Is525);
    EXPECT_EQ(info.SampleRate, 44100);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.Channels, 4);
    EXPECT_EQ(detector.currentInfo().FrameNumber, 1u);

    // A frame without packs: no date, no time code, no aux; the values of the
    // previous frame stay.
    DvFacts bare;
    bare.aux = false;
    ASSERT_TRUE(detector.processFrame(buildDvFrame(bare).bytes()));
    const TDvFrameInfo next = detector.lastInfo();
    EXPECT_EQ(detector.previousInfo().FrameNumber, 1u);
    EXPECT_TRUE(detector.previousInfo().HasDate);
    EXPECT_EQ(next.FrameNumber, 1u);
    EXPECT_FALSE(next.HasDate);
    EXPECT_EQ(next.RecDateTime, 0.0);
    EXPECT_FALSE(next.HasTimecode);
    EXPECT_EQ(next.Timecode.Frames, 17);
    EXPECT_FALSE(next.AuxValid);
    EXPECT_EQ(next.SampleRate, 44100);
    EXPECT_TRUE(next.Wide);
}

TEST(SceneDetect, InvalidDateCountsAsNoDate)
{
    DvSceneDetectCore detector;
    detector.startStreaming(400000);
    DvFrame frame = buildDvFrame(dated(0));
    frame.setPack(vauxSlot(0, 2, 11), recDatePack(31, 2, 6)); // 31 February
    for (int s = 0; s < frame.sequences(); ++s)
        frame.setPack(subcodeSlot(s, 1, 2), recDatePack(31, 2, 6));
    ASSERT_TRUE(detector.processFrame(frame.bytes()));
    EXPECT_FALSE(detector.lastInfo().HasDate);
    EXPECT_EQ(detector.lastInfo().RecDateTime, 0.0);
}

TEST(SceneDetect, HeaderStoreHoldsTheLastFramesLeadingBlocks)
{
    DvSceneDetectCore detector;
    EXPECT_EQ(detector.headerStore().Sequences, 0);
    detector.startStreaming(0);
    for (const DvStandard standard : {DvStandard::Pal, DvStandard::Ntsc}) {
        DvFacts facts = dated(0);
        facts.standard = standard;
        DvFrame frame = buildDvFrame(facts);
        for (int s = 0; s < frame.sequences(); ++s)
            frame.setPack(vauxSlot(s, 2, 14), timecodePack(0, 0, s, 0));
        ASSERT_TRUE(detector.processFrame(frame.bytes()));

        const DvHeaderStore store = detector.headerStore();
        ASSERT_EQ(store.Sequences, frame.sequences());
        for (int s = 0; s < frame.sequences(); ++s) {
            const auto sequence = frame.bytes().subspan(DvFrame::blockOffset(s, 0), 480);
            EXPECT_TRUE(std::equal(sequence.begin(), sequence.end(),
                                   store.Entries[static_cast<std::size_t>(s)].begin()))
                << "sequence " << s;
        }
    }
    detector.stop();
    EXPECT_EQ(detector.headerStore().Sequences, 0);
}

// A frame's store, as a note holds it, stays that frame's however many frames
// follow; a store nobody holds any more is filled again rather than a new one.
TEST(SceneDetect, AHeldFrameStoreKeepsItsFrame)
{
    DvSceneDetectCore detector;
    detector.startStreaming(0);
    const auto frameWithTimecode = [](int second) {
        DvFrame frame = buildDvFrame(dated(0));
        for (int s = 0; s < frame.sequences(); ++s)
            frame.setPack(vauxSlot(s, 2, 14), timecodePack(0, 0, second, 0));
        return frame;
    };
    ASSERT_TRUE(detector.processFrame(frameWithTimecode(1).bytes()));
    const DvSceneDetectCore::FrameRecord held = detector.lastFrame();
    ASSERT_NE(held.store, nullptr);
    EXPECT_EQ(held.info.FrameNumber, 0u);
    const DvFrame first = frameWithTimecode(1);
    const std::vector<std::uint8_t> firstBlocks(first.bytes().begin(), first.bytes().begin() + 480);

    std::set<const DvHeaderStore *> stores;
    for (int f = 2; f < 100; ++f) {
        ASSERT_TRUE(detector.processFrame(frameWithTimecode(f % 60).bytes()));
        stores.insert(detector.lastFrame().store.get());
    }
    EXPECT_TRUE(std::equal(firstBlocks.begin(), firstBlocks.end(), held.store->Entries[0].begin()));
    EXPECT_FALSE(stores.contains(held.store.get()));
    EXPECT_LE(stores.size(), 2u) << "stores nobody held were not used again";
    detector.stop();
}

// ---------------------------------------------------------------------------
// Runs: the reset at the start of streaming and the final report at stop.

struct Recorder
{
    std::vector<std::string> events;

    void attach(DvSceneDetectCore &detector, bool withTitle = true)
    {
        detector.setOnScene([this](const TDvFrameInfo &start, const TDvFrameInfo &end) {
            events.push_back("scene " + std::to_string(start.FrameNumber) + "-" +
                             std::to_string(end.FrameNumber));
        });
        if (withTitle)
            attachTitle(detector);
        detector.setOnEnd([this] { events.emplace_back("end"); });
    }
    void attachTitle(DvSceneDetectCore &detector)
    {
        detector.setOnTitle([this](const TDvFrameInfo &info, const QString &l1, const QString &l2) {
            events.push_back("title " + std::to_string(info.FrameNumber) + " '" + l1.toStdString() +
                             "' '" + l2.toStdString() + "'");
        });
    }
};

TEST(SceneDetectRun, StopReportsSceneThenEmptyLinesThenEndOnce)
{
    DvSceneDetectCore detector;
    TincrustRec options;
    options.When = kShowAlways;
    options.Line1 = "x";
    detector.setOptions(options);
    Recorder recorder;
    recorder.attach(detector);

    detector.startStreaming(400000);
    feed(detector, {{1000, dated(0)}});
    detector.stop();
    detector.stop();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"title 0 'x' ''", "scene 0-1000",
                                                         "title 1000 '' ''", "end"}));

    // OnTitle was cleared by the stop; OnScene and OnEnd stay. A run without
    // frames reports an empty scene.
    recorder.events.clear();
    detector.startStreaming(400000);
    detector.stop();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"scene 0-0", "end"}));

    // A stop outside a run reports nothing.
    recorder.events.clear();
    detector.stop();
    EXPECT_TRUE(recorder.events.empty());
}

TEST(SceneDetectRun, EachRunStartsAfresh)
{
    DvSceneDetectCore detector;
    Recorder recorder;
    recorder.attach(detector);

    // The first run ends in a scene without a date after a change of format.
    detector.startStreaming(400000);
    feed(detector, {{5, dated(0)}, {20, with(undated(), rate32k)}});
    detector.stop();

    // The next run begins an hour later with another format: frame numbers
    // start at 0 and neither the date nor the format breaks at its start.
    recorder.events.clear();
    detector.startStreaming(400000);
    feed(detector, {{3, dated(3600)}, {3, dated(3601)}});
    EXPECT_EQ(detector.lastInfo().FrameNumber, 5u);
    detector.stop();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"scene 0-6", "end"}));
}

TEST(SceneDetectRun, StartWithoutStopBeginsANewRun)
{
    DvSceneDetectCore detector;
    Recorder recorder;
    recorder.attach(detector);
    detector.startStreaming(400000);
    feed(detector, {{5, dated(0)}});
    detector.startStreaming(400000);
    feed(detector, {{2, dated(50)}});
    detector.stop();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"scene 0-2", "end"}));
}

TEST(SceneDetectRun, CallbacksMayReadTheDetector)
{
    // The callbacks run without the detector's lock held.
    DvSceneDetectCore detector;
    std::vector<std::uint32_t> seen;
    detector.setOnScene([&](const TDvFrameInfo &, const TDvFrameInfo &end) {
        seen.push_back(detector.currentInfo().FrameNumber);
        EXPECT_EQ(detector.currentInfo().FrameNumber, end.FrameNumber);
    });
    detector.startStreaming(400000);
    feed(detector, {{2, dated(0)}, {2, dated(60)}});
    detector.stop();
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{2, 4}));
}

// ---------------------------------------------------------------------------
// The records read by other threads while frames stream.

TEST(SceneDetectThreads, SnapshotsAreWholeRecords)
{
    DvSceneDetectCore detector;
    detector.startStreaming(400000);
    constexpr int kFrames = 150;
    constexpr int kPasses = 4;
    std::vector<DvFrame> frames;
    frames.reserve(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        // Frame i: recorded i seconds after the base and time code frames
        // i % 25, in every sequence, so a torn record or store shows.
        DvFacts facts = dated(i);
        facts.timecodeFrames = i % 25;
        frames.push_back(buildDvFrame(facts));
    }
    const double base = FromQDateTime(recordedAt(0));
    const auto secondOf = [base](const TDvFrameInfo &info) {
        return static_cast<int>(std::lround((info.RecDateTime - base) * 86400.0));
    };

    std::atomic<bool> done{false};
    std::atomic<int> checks{0};
    std::thread reader([&] {
        do {
            const TDvFrameInfo last = detector.lastInfo();
            if (last.HasTimecode) {
                EXPECT_EQ(secondOf(last), static_cast<int>(last.FrameNumber % kFrames));
                EXPECT_EQ(last.Timecode.Frames, last.FrameNumber % 25);
            }
            for (const TDvFrameInfo &info : {detector.previousInfo(), detector.currentInfo()}) {
                if (info.HasTimecode) {
                    EXPECT_EQ(secondOf(info) % 25, info.Timecode.Frames);
                }
            }
            const DvHeaderStore store = detector.headerStore();
            for (int s = 1; s < store.Sequences; ++s) // time code PC1 of the first subcode pack
                EXPECT_EQ(store.Entries[static_cast<std::size_t>(s)][87], store.Entries[0][87]);
            checks.fetch_add(1);
        } while (!done.load());
    });
    while (checks.load() == 0)
        std::this_thread::yield();
    for (int pass = 0; pass < kPasses; ++pass) {
        for (const DvFrame &frame : frames)
            EXPECT_TRUE(detector.processFrame(frame.bytes()));
    }
    done.store(true);
    reader.join();
    detector.stop();
    EXPECT_EQ(detector.lastInfo().FrameNumber, static_cast<std::uint32_t>(kPasses * kFrames - 1));
}

} // namespace
