#include "dvfacts.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "video/filters/dv_deinter.h"
#include "video/filters/dv_deintercore.h"
#include "video/filters/dv_mediastamper.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_superposer.h"
#include "video/filters/uscenedetectcontenu.h"

#include <QRect>
#include <gtest/gtest.h>
#include <numeric>

namespace {

using namespace vidora;
using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// A bottom-up RGB24 picture with padded rows: grey, with every other row
// (from the top) darker when `combed`, and a moving edge so fields differ.
QByteArray picture(int width, int height, bool combed, std::uint8_t base = 128)
{
    const auto stride = Rgb24Stride(width);
    QByteArray bytes(static_cast<qsizetype>(Rgb24ImageSize(width, height)), '\0');
    for (int y = 0; y < height; ++y) {
        const int memoryRow = height - 1 - y;
        for (int x = 0; x < width; ++x) {
            std::uint8_t v = base;
            if (combed && y % 2 == 1 && x < width / 2)
                v = static_cast<std::uint8_t>(base / 4);
            for (int c = 0; c < 3; ++c)
                bytes[static_cast<qsizetype>(memoryRow * stride + x * 3 + c)] =
                    static_cast<char>(v);
        }
    }
    return bytes;
}

// Runs a detector over one dated frame so that its LastInfo describes it.
void feedDetector(const std::shared_ptr<Tdv_sceneDetect> &detector)
{
    DvFacts facts;
    facts.recorded = QDateTime(QDate(2006, 5, 14), QTime(10, 31, 7));
    facts.timecodeFrames = 5;
    FilterHarness chain(testVideoType(400000), {buildDvFrame(facts).toByteArray()}, {detector});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    ASSERT_TRUE(detector->LastInfo().HasDate);
}

TEST(SuperposerFilter, ProposesPaddedPicturesOfTheInputsType)
{
    Tdv_Superposer filter(nullptr);
    EXPECT_EQ(filter.objectName(), "Vesk Tobrek cf_Superposer");
    EXPECT_TRUE(filter.CheckInputType(rgb24Type(90, 50)));
    MediaType noFormat(MajorType::Video, subtype::Rgb24);
    EXPECT_FALSE(filter.CheckInputType(noFormat));
    EXPECT_FALSE(filter.CheckInputType(testVideoType(400000)));

    // 90 pixels make rows of 270 bytes, padded to 272.
    auto superposer = std::make_shared<Tdv_Superposer>(nullptr);
    FilterHarness chain(rgb24Type(90, 50), {picture(90, 50, false)}, {superposer});
    ASSERT_TRUE(chain.connected());
    const auto out = superposer->output().connectionType().videoInfo();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->bmiHeader.biSizeImage, 272u * 50);
    EXPECT_EQ(superposer->output().connectionType().sampleSize, 272u * 50);
}

// The text drawn from the detector's frame changes pixels only inside its box;
// alignment 7 leaves the frame byte for byte; each instance has its own
// frame-shown flag.
TEST(SuperposerFilter, DrawsInsideTheTextBoxOnlyAndFlagsItsOwnFrames)
{
    HangGuard guard(60s);
    auto detector = std::make_shared<Tdv_sceneDetect>();
    feedDetector(detector);
    const int width = 360, height = 288;
    const QByteArray input = picture(width, height, false, 40);

    for (std::uint8_t alignment : {std::uint8_t{2}, std::uint8_t{7}}) {
        SCOPED_TRACE(alignment);
        auto superposer = std::make_shared<Tdv_Superposer>(detector.get());
        auto other = std::make_shared<Tdv_Superposer>(detector.get());
        TincrustRec options;
        options.Line1 = "%D1";
        options.Line2 = "%T";
        options.When = 0;
        options.Outline = 1;
        superposer->SetOptions(options);
        superposer->SetAlignment(alignment);
        superposer->ClearFrameShown();
        other->ClearFrameShown();
        FilterHarness chain(rgb24Type(width, height), {input, input}, {superposer});
        ASSERT_TRUE(chain.connected());
        ASSERT_TRUE(chain.run());
        EXPECT_TRUE(superposer->FrameShown());
        EXPECT_FALSE(other->FrameShown());
        const auto out = chain.received();
        ASSERT_EQ(out.size(), 2u);
        if (alignment == 7) {
            EXPECT_EQ(out[0], input);
            continue;
        }
        const OverlayLayout layout = superposer->LastLayout();
        ASSERT_TRUE(layout.drawn);
        EXPECT_EQ(layout.lines[1].text, QString("1:02:03:05"));
        const auto stride = Rgb24Stride(width);
        int changed = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const qsizetype at = (height - 1 - y) * stride + x * 3;
                if (out[0].mid(at, 3) != input.mid(at, 3)) {
                    ++changed;
                    ASSERT_TRUE(layout.textBox.contains(x, y)) << x << "," << y;
                }
            }
        EXPECT_GT(changed, 0);
    }
}

// With When = 1 the text shows on the first ShowCount − 2 frames of a run,
// ShowCount following the connection's frame duration (1 s at 25 frames a
// second: 25); a change of display mode restarts the countdown.
TEST(SuperposerFilter, ShowsTheTextAtTheStartForShowCountFrames)
{
    HangGuard guard(60s);
    auto detector = std::make_shared<Tdv_sceneDetect>();
    feedDetector(detector);
    auto superposer = std::make_shared<Tdv_Superposer>(detector.get());
    TincrustRec options;
    options.Line1 = "%D2";
    options.When = 1;
    options.Seconds = 1;
    superposer->SetOptions(options);
    const int width = 200, height = 100;
    const QByteArray input = picture(width, height, false, 40);
    FilterHarness chain(rgb24Type(width, height, 400000), std::vector<QByteArray>(30, input),
                        {superposer});
    ASSERT_TRUE(chain.connected());

    auto framesWithText = [&] {
        std::vector<int> frames;
        const auto out = chain.received();
        for (std::size_t i = 0; i < out.size(); ++i)
            if (out[i] != input)
                frames.push_back(static_cast<int>(i));
        return frames;
    };
    std::vector<int> first23(23);
    std::iota(first23.begin(), first23.end(), 0);

    ASSERT_TRUE(chain.run());
    EXPECT_EQ(superposer->ShowCount(), 25);
    EXPECT_EQ(framesWithText(), first23);

    // The next run starts the countdown again, whatever was set meanwhile.
    superposer->SetDisplayMode(1);
    ASSERT_TRUE(chain.graph().seeking().SetPositions(0, std::nullopt));
    ASSERT_TRUE(chain.run());
    std::vector<int> both = first23;
    for (int i : first23)
        both.push_back(30 + i);
    EXPECT_EQ(framesWithText(), both);
}

TEST(DeinterFilter, DeinterlacesInPlaceAsItsRoutine)
{
    HangGuard guard(30s);
    Tdv_deinter probe;
    EXPECT_EQ(probe.objectName(), "Vesk Tobrek dv_deinter");
    EXPECT_TRUE(probe.CheckInputType(MediaType(MajorType::Video, subtype::Rgb24)));
    EXPECT_FALSE(probe.CheckInputType(testVideoType(400000)));

    const int width = 34, height = 20;
    const QByteArray progressive = picture(width, height, false);
    const QByteArray combed = picture(width, height, true);
    QByteArray expected = combed;
    DeinterCore core;
    ASSERT_TRUE(core.StartStreaming(width, height));
    ASSERT_TRUE(
        core.Transform(sampleView(reinterpret_cast<std::uint8_t *>(expected.data()),
                                  static_cast<std::size_t>(expected.size()), width, height)));
    ASSERT_NE(expected, combed);

    auto deinter = std::make_shared<Tdv_deinter>();
    FilterHarness chain(rgb24Type(width, height), {progressive, combed}, {deinter});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(chain.received(), (std::vector<QByteArray>{progressive, expected}));
}

// Stamper after the source, detector on the pictures: a cut is reported with
// the stamper's frame number; the final report comes once, at the stop.
TEST(ContentDetectFilters, ReportCutsWithTheStampersFrameNumbers)
{
    HangGuard guard(30s);
    auto stamper = std::make_shared<Tdv_MediaStamper>();
    auto detector = std::make_shared<TSceneDetectContenu>();
    EXPECT_EQ(stamper->objectName(), "Vesk Tobrek dv_Mediastamper");
    EXPECT_EQ(detector->objectName(), "Vesk Tobrek SceneContenuDetecter");
    EXPECT_TRUE(stamper->CheckInputType(testAudioType()));
    EXPECT_FALSE(detector->CheckInputType(testVideoType(400000)));
    detector->SetStamper(stamper.get());
    std::mutex lock;
    std::vector<std::string> calls;
    detector->SetOnScene([&](std::int32_t frame) {
        const std::lock_guard locked(lock);
        calls.push_back("scene " + std::to_string(frame));
    });
    detector->SetOnEnd([&] {
        const std::lock_guard locked(lock);
        calls.push_back("end");
    });

    const int width = 160, height = 120;
    std::vector<QByteArray> pictures;
    for (int i = 0; i < 8; ++i)
        pictures.push_back(picture(width, height, false, i < 5 ? 10 : 200));
    FilterHarness chain(rgb24Type(width, height), pictures, {stamper, detector});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(chain.received(), pictures);
    EXPECT_EQ(calls, (std::vector<std::string>{"scene 5", "scene 7", "end"}));
    EXPECT_EQ(stamper->MediaStart(), 7);
    chain.graph().Stop();
    EXPECT_EQ(calls.size(), 3u);
}

} // namespace
