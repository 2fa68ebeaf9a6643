#include "dvfacts.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "video/filters/dv_scenedetect.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace vidora;
using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

QByteArray dvFrame(int seconds, DvStandard standard = DvStandard::Pal)
{
    DvFacts facts;
    facts.standard = standard;
    facts.recorded = recordedAt(seconds);
    facts.timecodeFrames = seconds % 25;
    return buildDvFrame(facts).toByteArray();
}

// What the callbacks saw, in order, with the thread of each call.
struct CallLog
{
    std::mutex lock;
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;

    void add(std::string call)
    {
        const std::lock_guard guard(lock);
        calls.push_back(std::move(call));
        threads.push_back(std::this_thread::get_id());
    }
};

void attach(Tdv_sceneDetect &detector, CallLog &log)
{
    detector.SetOnScene([&log](const TDvFrameInfo &start, const TDvFrameInfo &end) {
        log.add("scene " + std::to_string(start.FrameNumber) + "-" +
                std::to_string(end.FrameNumber));
    });
    detector.SetOnTitle([&log](const TDvFrameInfo &info, const QString &l1, const QString &l2) {
        log.add("title " + std::to_string(info.FrameNumber) + " '" + l1.toStdString() + "' '" +
                l2.toStdString() + "'");
    });
    detector.SetOnEnd([&log] { log.add("end"); });
}

TEST(SceneDetectFilter, AcceptsDvVideoAndInterleavedStreamsOnly)
{
    Tdv_sceneDetect detector;
    EXPECT_EQ(detector.objectName(), "Vesk Tobrek dv_sceneDetect");
    EXPECT_TRUE(detector.CheckInputType(testVideoType(400000)));
    EXPECT_TRUE(detector.CheckInputType(dvInterleavedType()));
    EXPECT_TRUE(detector.CheckInputType(MediaType(MajorType::Interleaved, fourCC("dvhd"))));
    EXPECT_FALSE(detector.CheckInputType(rgb24Type(8, 8)));
    EXPECT_FALSE(detector.CheckInputType(testAudioType()));
    EXPECT_FALSE(detector.CheckInputType(MediaType(MajorType::Video, fourCC("MJPG"))));
}

// A run through a graph: breaks on the streaming thread, the final scene, the
// empty title lines and OnEnd once from the stopping thread, frames untouched;
// a sample that is no DV frame passes without being counted.
TEST(SceneDetectFilter, ReportsThroughAGraphAndStopReportsOnce)
{
    HangGuard guard(30s);
    auto detector = std::make_shared<Tdv_sceneDetect>();
    TincrustRec options;
    options.Line1 = "%T";
    options.When = 0;
    detector->SetOptions(options);
    CallLog log;
    attach(*detector, log);

    std::vector<QByteArray> samples;
    for (int i = 0; i < 4; ++i)
        samples.push_back(dvFrame(i));
    samples.push_back(QByteArray(100, 'x')); // not a DV frame
    for (int i = 0; i < 3; ++i)
        samples.push_back(dvFrame(60 + i)); // a jump of a minute: a new scene at frame 4

    FilterHarness chain(testVideoType(400000), samples, {detector});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(chain.received(), samples);

    const std::vector<std::string> expected{"title 0 '1:02:03:00' ''",
                                            "title 1 '1:02:03:01' ''",
                                            "title 2 '1:02:03:02' ''",
                                            "title 3 '1:02:03:03' ''",
                                            "title 4 '1:02:03:10' ''",
                                            "scene 0-4",
                                            "title 5 '1:02:03:11' ''",
                                            "title 6 '1:02:03:12' ''",
                                            "scene 4-7",
                                            "title 7 '' ''",
                                            "end"};
    EXPECT_EQ(log.calls, expected);
    // The final three calls come from the thread that stopped the graph.
    ASSERT_EQ(log.threads.size(), expected.size());
    for (std::size_t i = expected.size() - 3; i < expected.size(); ++i)
        EXPECT_EQ(log.threads[i], std::this_thread::get_id()) << i;
    EXPECT_NE(log.threads.front(), std::this_thread::get_id());
    EXPECT_EQ(detector->LastInfo().FrameNumber, 6u);

    // A second stop reports nothing.
    chain.graph().Stop();
    EXPECT_EQ(log.calls.size(), expected.size());

    // The next run, from the start again, begins afresh (OnTitle was
    // cleared by the stop).
    log.calls.clear();
    ASSERT_TRUE(chain.graph().seeking().SetPositions(0, std::nullopt));
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"scene 0-4", "scene 4-7", "end"}));
}

TEST(SceneDetectFilter, RunWithoutFramesReportsAnEmptySceneOnce)
{
    HangGuard guard(30s);
    auto detector = std::make_shared<Tdv_sceneDetect>();
    CallLog log;
    attach(*detector, log);
    FilterHarness chain(dvInterleavedType(), {}, {detector});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"scene 0-0", "end"}));
}

// The frame duration comes from a video-info block when the connection has
// one; an interleaved connection takes it from the DV system of its frames.
struct DurationCase
{
    const char *name;
    MediaType type;
    DvStandard standard;
    std::int64_t duration;
    std::int32_t showCount; // for 5 seconds
};

void PrintTo(const DurationCase &c, std::ostream *os)
{
    *os << c.name;
}

class SceneDetectDuration : public ::testing::TestWithParam<DurationCase>
{};

TEST_P(SceneDetectDuration, GivesTheShowCount)
{
    HangGuard guard(30s);
    const DurationCase &c = GetParam();
    auto detector = std::make_shared<Tdv_sceneDetect>();
    FilterHarness chain(c.type, {dvFrame(0, c.standard), dvFrame(1, c.standard)}, {detector});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(detector->FrameDuration(), c.duration);
    EXPECT_EQ(detector->ShowCount(), c.showCount);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SceneDetectDuration,
    ::testing::Values(
        DurationCase{"VideoInfoPal", testVideoType(400000), DvStandard::Pal, 400000, 125},
        DurationCase{"VideoInfoWins", testVideoType(200000), DvStandard::Pal, 200000, 250},
        DurationCase{"VideoInfoWithoutDuration", testVideoType(0), DvStandard::Ntsc, 333667, 150},
        DurationCase{"InterleavedPal", dvInterleavedType(), DvStandard::Pal, 400000, 125},
        DurationCase{"InterleavedNtsc", dvInterleavedType(), DvStandard::Ntsc, 333667, 150}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

} // namespace
