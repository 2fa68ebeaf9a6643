#include "ui/vuetexts.h"

#include "formats/datetime.h"
#include "formats/rounding.h"
#include "platform/shell/pathroutines.h"
#include "ui/linkmarkup.h"

#include <algorithm>
#include <exception>

namespace vidora {

QString VideoMessageMarkup(TVideoMessageCode code, const QString &fileName, const QString &codec)
{
    const QString heading =
        QStringLiteral("<br><br><br><b><i><SIZE 14>Video not available</size></i></b><br><br>");
    const QString name = EscapeLinkMarkup(fileName);
    const QString code4 = EscapeLinkMarkup(codec);
    const QString theFile =
        QStringLiteral("The file<br><br><b><color blue>") + name + QStringLiteral("</color></b>");
    const QString noDecoder = QStringLiteral("There is no directshow filter on your system that "
                                             "can decompress the<br><B><COLOR BLUE>codec ") +
                              code4 + QStringLiteral("</COLOR></B><br><br>");
    switch (code) {
    case videomessage::NotFound:
        return heading + theFile + QStringLiteral("<br>is not found.");
    case videomessage::DvRefused:
        return heading + theFile +
               QStringLiteral("<br><br>seems to have a non standard DV codec.<br>") +
               QStringLiteral("To show the video, try to change the codec \"%1\" to \"dvsd\".")
                   .arg(code4);
    case videomessage::AudioOnly:
        return heading + theFile + QStringLiteral("<br><br>has only audio streams");
    case videomessage::NotAvi:
        return heading + theFile + QStringLiteral("<br><br>seems not to be a correct AVI file.");
    case videomessage::NotDv:
        return heading + theFile + QStringLiteral("<br><br>seems not to be a correct DV file.");
    case videomessage::NoDecoderAudio:
        return heading + noDecoder + QStringLiteral("<i>You can play the Audio</i>");
    case videomessage::NoDecoderUnknown:
        return heading + noDecoder + QStringLiteral("<i>Unknown audio</i>");
    case videomessage::NoDecoderNoAudio:
        return heading + noDecoder + QStringLiteral("<i>No Audio</i>");
    case videomessage::TakenByCommand:
        return heading +
               QStringLiteral("Temporary break of the video<br>to execute a command<br><br>"
                              "<b><color blue>") +
               name + QStringLiteral("</color></b>");
    default:
        return heading;
    }
}

QString DvAudioText(const TDvFrameInfo &info)
{
    QString text = QStringLiteral("%1Hz %2bits").arg(info.SampleRate).arg(info.BitsPerSample);
    switch (info.Channels) {
    case 0:
        return QStringLiteral("N/A");
    case 1:
        return text + QStringLiteral(" mono");
    case 2:
        return text + QStringLiteral(" stereo");
    case 3:
        return text + QStringLiteral(" 3 ") + QStringLiteral(" channels");
    case 4:
        return text + QStringLiteral(" stereo") + QStringLiteral("(2x)");
    default:
        return text;
    }
}

QString DvAudioRateText(const TDvFrameInfo &info)
{
    const std::int64_t rate =
        std::int64_t(info.SampleRate) * info.Channels * info.BitsPerSample / 8;
    return rate > 0 ? QStringLiteral("PCM %1 bytes/s").arg(rate) : QString();
}

QString PictureAspectText(const QString &pictureText, bool wide)
{
    const QString aspect = wide ? QStringLiteral("16x9)") : QStringLiteral("4x3)");
    const bool open = pictureText.count(QLatin1Char('(')) > pictureText.count(QLatin1Char(')'));
    return pictureText + (open ? QStringLiteral(" ") : QStringLiteral(" (")) + aspect;
}

QString VueTimecodeText(const TDvTimecode &timecode)
{
    // Built by hand: the tick makes one for every frame, and QString::arg
    // four times over took as long as the rest of the tick's texts.
    QString text;
    text.reserve(11);
    const int fields[] = {int(std::int8_t(timecode.Hours)), int(timecode.Minutes),
                          int(timecode.Seconds), int(timecode.Frames)};
    for (const int value : fields) {
        if (!text.isEmpty())
            text += QLatin1Char('.');
        if (value >= 0 && value < 10)
            text += QLatin1Char('0');
        text += QString::number(value);
    }
    return text;
}

TVueTexts VueFrameTexts(bool detectorRunning, const TDvFrameInfo &info, bool dvType1,
                        const QString &pictureText, const QString &datecodeFormat)
{
    return TVueTextsMaker().Texts(detectorRunning, info, dvType1, pictureText, datecodeFormat);
}

namespace {

QString VueDatecodeText(const TDvFrameInfo &info, const QString &format)
{
    if (!info.HasDate)
        return QStringLiteral("N/A");
    try {
        return FormatDateTime(format, info.RecDateTime);
    } catch (const std::exception &) {
        return QStringLiteral("N/A");
    }
}

bool SameTimecode(const TDvTimecode &a, const TDvTimecode &b)
{
    return a.Hours == b.Hours && a.Minutes == b.Minutes && a.Seconds == b.Seconds &&
           a.Frames == b.Frames;
}

} // namespace

const TVueTexts &TVueTextsMaker::Texts(bool detectorRunning, const TDvFrameInfo &info, bool dvType1,
                                       const QString &pictureText, const QString &datecodeFormat)
{
    if (!detectorRunning) {
        m_made = false;
        m_texts = TVueTexts();
        return m_texts;
    }
    const TDvFrameInfo &was = m_info;
    if (!m_made || dvType1 != m_dvType1 || info.SampleRate != was.SampleRate ||
        info.BitsPerSample != was.BitsPerSample || info.Channels != was.Channels) {
        m_texts.audio = dvType1 ? DvAudioText(info) : QString();
        m_texts.audioRate = dvType1 ? DvAudioRateText(info) : QString();
    }
    if (!m_made || info.Wide != was.Wide || pictureText != m_pictureText)
        m_texts.codec = PictureAspectText(pictureText, info.Wide);
    if (!m_made || info.HasDate != was.HasDate ||
        (info.HasDate &&
         (info.RecDateTime != was.RecDateTime || datecodeFormat != m_datecodeFormat)))
        m_texts.datecode = VueDatecodeText(info, datecodeFormat);
    if (!m_made || info.HasTimecode != was.HasTimecode ||
        !SameTimecode(info.Timecode, was.Timecode))
        m_texts.timecode =
            info.HasTimecode ? VueTimecodeText(info.Timecode) : QStringLiteral("N/A");
    m_made = true;
    m_info = info;
    m_dvType1 = dvType1;
    m_pictureText = pictureText;
    m_datecodeFormat = datecodeFormat;
    return m_texts;
}

QString DigitForm(const QString &text)
{
    QString form = text;
    for (QChar &c : form)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            c = QLatin1Char('0');
    return form;
}

bool DigitsEvenlyWide(const QFontMetrics &metrics)
{
    const int zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit)
        if (metrics.horizontalAdvance(QLatin1Char(digit)) != zero)
            return false;
    return true;
}

std::optional<int> SliderPositionOf(std::int64_t position, std::int64_t start, std::int64_t stop)
{
    if (stop <= start)
        return std::nullopt;
    return int((position - start) * Tviewdm::kSliderMaximum / (stop - start));
}

std::int64_t PositionOfSlider(int value, std::int64_t start, std::int64_t stop)
{
    return start + (stop - start) * value / Tviewdm::kSliderMaximum;
}

VueStepSize VueStepSizeOf(VueStep step, double frameRate)
{
    if (frameRate != 0) {
        switch (step) {
        case VueStep::Low:
            return {true, 1};
        case VueStep::Medium:
            return {true, roundHalfEven(frameRate)};
        case VueStep::High:
            return {true, roundHalfEven(60 * frameRate)};
        }
    }
    switch (step) {
    case VueStep::Low:
        return {false, 400'000};
    case VueStep::Medium:
        return {false, 10'000'000};
    case VueStep::High:
        break;
    }
    return {false, 600'000'000};
}

std::optional<VueLayout> ArrangeVueLayout(const VueLayoutInput &input)
{
    VueLayout layout;
    if (input.fullScreen) {
        layout.area = input.screen;
    } else {
        const int bottom = std::max(25, input.timeLabel.height() + 4);
        layout.area = input.client.adjusted(25, 25, -25, -bottom);
    }
    // An unknown picture size takes the message's, for this layout only.
    const QSize picture =
        input.picture.width() == 0 || input.picture.height() == 0 ? input.message : input.picture;
    const std::optional<QRect> video =
        FitRectKeepAspect(picture.width(), picture.height(), layout.area);
    if (!video)
        return std::nullopt;
    const QRect v = *video;
    layout.video = v;
    layout.message = CenterInRect(QRect(QPoint(0, 0), input.message), layout.area);
    // QRect's right and bottom are the last pixel inside; the frame's
    // edges are the first outside.
    const int vRight = v.left() + v.width();
    const int vBottom = v.top() + v.height();
    layout.timeLabel = QRect((input.client.width() - input.timeLabel.width()) / 2, vBottom + 4,
                             input.timeLabel.width(), input.timeLabel.height());
    // Above the picture, but never above the view's top edge, where the
    // view would cut it (a picture as tall as the area starts 25 down).
    layout.slider =
        QRect(v.left() - 8, std::max(0, v.top() - 30), v.width() + 16, input.sliderHeight);
    layout.incrustHorz = QRect(v.left() - 8, vBottom - 4, v.width() + 16, input.incrustHorzHeight);
    layout.incrustVert = QRect(vRight - 4, v.top() - 8, input.incrustVertWidth, v.height() + 16);
    layout.shape = QRect(QPoint(vRight - 4, vBottom - 4), input.shape);
    return layout;
}

} // namespace vidora
