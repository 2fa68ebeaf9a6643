// What the video view shows, without its widgets: the messages, the texts of
// the frame shown, the steps and the layout.
#include "ui/linkmarkup.h"
#include "ui/vuetexts.h"

#include <gtest/gtest.h>

#include <functional>

namespace vidora {
namespace {

const QString kHeading =
    QStringLiteral("<br><br><br><b><i><SIZE 14>Video not available</size></i></b><br><br>");

TEST(VueTexts, MessageOfEachCode)
{
    const QString file = QStringLiteral("<b><color blue>clip.avi</color></b>");
    const QString noDecoder = QStringLiteral(
        "There is no directshow filter on your system that can decompress the<br><B><COLOR "
        "BLUE>codec CDVC</COLOR></B><br><br>");
    const std::vector<std::pair<TVideoMessageCode, QString>> cases = {
        {0, kHeading},
        {1, kHeading + "The file<br><br>" + file + "<br>is not found."},
        {2, kHeading + "The file<br><br>" + file +
                "<br><br>seems to have a non standard DV codec.<br>To show the video, try to "
                "change the codec \"CDVC\" to \"dvsd\"."},
        {3, kHeading + "The file<br><br>" + file + "<br><br>has only audio streams"},
        {4, kHeading + "The file<br><br>" + file + "<br><br>seems not to be a correct AVI file."},
        {5, kHeading + "The file<br><br>" + file + "<br><br>seems not to be a correct DV file."},
        {6, kHeading + noDecoder + "<i>You can play the Audio</i>"},
        {7, kHeading + noDecoder + "<i>Unknown audio</i>"},
        {8, kHeading + noDecoder + "<i>No Audio</i>"},
        {9, kHeading + "Temporary break of the video<br>to execute a command<br><br>" + file},
        {10, kHeading},
    };
    for (const auto &[code, markup] : cases)
        EXPECT_EQ(VideoMessageMarkup(code, "clip.avi", "CDVC"), markup) << int(code);
}

TEST(VueTexts, FileNamesAndCodesShowLiterally)
{
    const QString name = QStringLiteral("a<b>&<br>c.avi");
    const LinkLayout layout =
        BuildLinkLayout(VideoMessageMarkup(1, name, "x<y"), LinkCharAttributes{}, LinkBaseStyle{});
    EXPECT_TRUE(layout.plainText.contains(name)) << layout.plainText.toStdString();
    const LinkLayout advice =
        BuildLinkLayout(VideoMessageMarkup(2, name, "x<y"), LinkCharAttributes{}, LinkBaseStyle{});
    EXPECT_TRUE(advice.plainText.contains("codec \"x<y\" to")) << advice.plainText.toStdString();
}

TDvFrameInfo frame(int rate, int bits, int channels)
{
    TDvFrameInfo info;
    info.SampleRate = rate;
    info.BitsPerSample = bits;
    info.Channels = channels;
    return info;
}

TEST(VueTexts, AudioAndRateOfADvFrame)
{
    struct Case
    {
        TDvFrameInfo info;
        const char *audio;
        const char *rate;
    };
    const std::vector<Case> cases = {
        {frame(48000, 16, 2), "48000Hz 16bits stereo", "PCM 192000 bytes/s"},
        {frame(32000, 12, 4), "32000Hz 12bits stereo(2x)", "PCM 192000 bytes/s"},
        {frame(44100, 16, 1), "44100Hz 16bits mono", "PCM 88200 bytes/s"},
        {frame(32000, 12, 3), "32000Hz 12bits 3  channels", "PCM 144000 bytes/s"},
        {frame(48000, 16, 6), "48000Hz 16bits", "PCM 576000 bytes/s"},
        {frame(48000, 16, 0), "N/A", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DvAudioText(c.info), c.audio);
        EXPECT_EQ(DvAudioRateText(c.info), c.rate);
    }
}

TEST(VueTexts, TextsOfTheFrameShown)
{
    TDvFrameInfo info = frame(48000, 16, 2);
    info.HasTimecode = true;
    info.Timecode = {1, 2, 3, 4};
    info.Wide = true;
    info.HasDate = true;
    info.RecDateTime = 38510.0 + 8.0 / 24; // 2005-06-07 08:00
    const QString picture = QStringLiteral("720 x 576 (Pal");

    TVueTexts texts = VueFrameTexts(true, info, true, picture, QStringLiteral("yyyy-mm-dd hh:nn"));
    EXPECT_EQ(texts.datecode, "2005-06-07 08:00");
    EXPECT_EQ(texts.timecode, "01.02.03.04");
    EXPECT_EQ(texts.audio, "48000Hz 16bits stereo");
    EXPECT_EQ(texts.audioRate, "PCM 192000 bytes/s");
    EXPECT_EQ(texts.codec, "720 x 576 (Pal 16x9)") << "the frame's own aspect, balanced";

    // Type 2: no audio texts; a frame without date or time code.
    info.HasDate = false;
    info.HasTimecode = false;
    info.Wide = false;
    texts = VueFrameTexts(true, info, false, picture, QStringLiteral("yyyy"));
    EXPECT_EQ(texts.datecode, "N/A");
    EXPECT_EQ(texts.timecode, "N/A");
    EXPECT_EQ(texts.audio, "");
    EXPECT_EQ(texts.codec, "720 x 576 (Pal 4x3)");

    // A stopped preview, or a file without DV.
    texts = VueFrameTexts(false, info, true, picture, QStringLiteral("yyyy"));
    EXPECT_EQ(texts.datecode, "-");
    EXPECT_EQ(texts.timecode, "-");
    EXPECT_EQ(texts.audio, "");

    EXPECT_EQ(PictureAspectText("640 x 480", true), "640 x 480 (16x9)");
    TDvTimecode negative;
    negative.Hours = 0xFF;
    EXPECT_EQ(VueTimecodeText(negative), "-1.00.00.00") << "hours as a signed byte";
}

TEST(VueTexts, TimecodeFieldsOfEveryWidth)
{
    struct Case
    {
        TDvTimecode timecode;
        const char *text;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0, 0}, "00.00.00.00"},           {{9, 10, 59, 24}, "09.10.59.24"},
        {{0xFF, 0, 0, 0}, "-1.00.00.00"},        // hours as a signed byte
        {{0x80, 1, 2, 3}, "-128.01.02.03"},      // the lowest
        {{127, 255, 100, 99}, "127.255.100.99"}, // digits out of range, shown as they are
    };
    for (const Case &c : cases)
        EXPECT_EQ(VueTimecodeText(c.timecode), QString::fromLatin1(c.text)) << c.text;
}

// The tick's texts, made frame after frame by one maker, are those of each
// frame on its own, whichever of their sources changed.
TEST(VueTexts, TheTickTextsFollowEveryChangeOfWhatTheyShow)
{
    struct Step
    {
        const char *change;
        std::function<void()> apply;
    };
    TDvFrameInfo info;
    info.HasDate = true;
    info.HasTimecode = true;
    info.Timecode = {1, 2, 3, 4};
    info.RecDateTime = 38510.0 + (8 * 3600 + 9 * 60 + 10) / 86400.0; // 2005-06-07 08:09:10
    info.SampleRate = 48000;
    info.BitsPerSample = 16;
    info.Channels = 2;
    bool running = true;
    bool type1 = true;
    QString picture = QStringLiteral("720 x 576 (Pal");
    QString format = QStringLiteral("yyyy-mm-dd hh:nn:ss");
    const std::vector<Step> steps = {
        {"the first frame", [] {}},
        {"the same frame again", [] {}},
        {"the next frame", [&] { info.Timecode.Frames = 5; }},
        {"a second later",
         [&] {
             info.Timecode.Seconds = 4;
             info.RecDateTime += 1.0 / 86400;
         }},
        {"another format", [&] { format = QStringLiteral("dd/mm/yyyy"); }},
        {"no date", [&] { info.HasDate = false; }},
        {"no date, another time", [&] { info.RecDateTime += 1.0; }},
        {"a date again", [&] { info.HasDate = true; }},
        {"mono", [&] { info.Channels = 1; }},
        {"32 kHz", [&] { info.SampleRate = 32000; }},
        {"12 bits", [&] { info.BitsPerSample = 12; }},
        {"wide", [&] { info.Wide = true; }},
        {"another picture", [&] { picture = QStringLiteral("720 x 480 (Ntsc"); }},
        {"a type-2 file", [&] { type1 = false; }},
        {"no time code", [&] { info.HasTimecode = false; }},
        {"the hours only",
         [&] {
             info.HasTimecode = true;
             info.Timecode.Hours = 2;
         }},
        {"stopped", [&] { running = false; }},
        {"running again", [&] { running = true; }},
        {"a type-1 file again", [&] { type1 = true; }},
    };
    TVueTextsMaker maker;
    QStringList dates;
    for (const Step &step : steps) {
        step.apply();
        const TVueTexts &made = maker.Texts(running, info, type1, picture, format);
        const TVueTexts alone = VueFrameTexts(running, info, type1, picture, format);
        EXPECT_EQ(made.datecode, alone.datecode) << step.change;
        EXPECT_EQ(made.timecode, alone.timecode) << step.change;
        EXPECT_EQ(made.audio, alone.audio) << step.change;
        EXPECT_EQ(made.audioRate, alone.audioRate) << step.change;
        EXPECT_EQ(made.codec, alone.codec) << step.change;
        dates << made.datecode;
    }
    EXPECT_EQ(dates.mid(0, 6),
              QStringList({"2005-06-07 08:09:10", "2005-06-07 08:09:10", "2005-06-07 08:09:10",
                           "2005-06-07 08:09:11", "07/06/2005", "N/A"}));
}

TEST(VueTexts, DigitForm)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"0:00:09:24", "0:00:00:00"},
        {"123:45:67:89", "000:00:00:00"},
        {"N/A", "N/A"},
        {"", ""},
    };
    for (const auto &[text, form] : cases)
        EXPECT_EQ(DigitForm(text), form) << text.toStdString();
}

TEST(VueTexts, StepSizes)
{
    struct Case
    {
        VueStep step;
        double rate;
        VueStepSize size;
    };
    const std::vector<Case> cases = {
        {VueStep::Low, 25, {true, 1}},
        {VueStep::Medium, 25, {true, 25}},
        {VueStep::High, 25, {true, 1500}},
        {VueStep::Low, 30000.0 / 1001, {true, 1}},
        {VueStep::Medium, 30000.0 / 1001, {true, 30}},
        {VueStep::High, 30000.0 / 1001, {true, 1798}},
        {VueStep::Medium, 29.97, {true, 30}},
        {VueStep::Low, 0, {false, 400'000}},
        {VueStep::Medium, 0, {false, 10'000'000}},
        {VueStep::High, 0, {false, 600'000'000}},
    };
    for (const Case &c : cases) {
        const VueStepSize size = VueStepSizeOf(c.step, c.rate);
        EXPECT_EQ(size.inFrames, c.size.inFrames);
        EXPECT_EQ(size.amount, c.size.amount) << c.rate;
    }
    EXPECT_EQ(PositionOfSlider(500, 0, 1000), 500);
    EXPECT_EQ(SliderPositionOf(500, 0, 1000), 500);
    EXPECT_EQ(SliderPositionOf(5, 0, 0), std::nullopt);
}

TEST(VueTexts, LayoutAroundTheFittedPicture)
{
    VueLayoutInput input;
    input.client = QRect(0, 0, 800, 600);
    input.picture = QSize(720, 576);
    input.message = QSize(360, 200);
    input.timeLabel = QSize(100, 30);
    input.sliderHeight = 20;
    input.incrustHorzHeight = 16;
    input.incrustVertWidth = 16;
    const std::optional<VueLayout> layout = ArrangeVueLayout(input);
    ASSERT_TRUE(layout);
    // The area: 25 pixels on each side, the bottom the label's 30 + 4.
    EXPECT_EQ(layout->area, QRect(25, 25, 750, 541));
    // 5:4 in 750 x 541: the full height, 676 wide, centred.
    EXPECT_EQ(layout->video, QRect(25 + (750 - 676) / 2, 25, 676, 541));
    const QRect v = layout->video;
    EXPECT_EQ(layout->message, QRect(25 + 195, 25 + 170, 360, 200));
    EXPECT_EQ(layout->timeLabel, QRect(350, 25 + 541 + 4, 100, 30));
    // Above the picture, inside the view: a picture as tall as the area
    // leaves it at the top edge.
    EXPECT_EQ(layout->slider, QRect(v.left() - 8, 0, v.width() + 16, 20));
    EXPECT_EQ(layout->incrustHorz, QRect(v.left() - 8, 25 + 541 - 4, v.width() + 16, 16));
    EXPECT_EQ(layout->incrustVert, QRect(v.left() + v.width() - 4, v.top() - 8, 16, 541 + 16));
    EXPECT_EQ(layout->shape, QRect(v.left() + v.width() - 4, 25 + 541 - 4, 20, 20));

    // Full screen: the whole screen; an unknown picture takes the message's
    // size for this layout.
    input.fullScreen = true;
    input.screen = QRect(0, 0, 1920, 1080);
    input.picture = QSize(0, 0);
    const std::optional<VueLayout> full = ArrangeVueLayout(input);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->video, QRect(0, (1080 - 1920 * 200 / 360) / 2, 1920, 1920 * 200 / 360));

    input.message = QSize(0, 0);
    EXPECT_FALSE(ArrangeVueLayout(input));
}

} // namespace
} // namespace vidora
