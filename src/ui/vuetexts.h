#pragma once

// What the video view shows, worked out without its widgets: the message of
// each TVideoMessageCode, the texts of the frame shown, the layout of the
// frame, and the sizes of the step handlers.
#include "video/filters/dvframeinfo.h"
#include "video/graphs/viewgraph.h"

#include <QFontMetrics>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>

namespace vidora {

// The message markup of `code` for the file `fileName` (its name part) with
// the codec code `codec`. File names and codes are shown literally.
QString VideoMessageMarkup(TVideoMessageCode code, const QString &fileName, const QString &codec);

// The texts of the frame being shown, for the information frame.
struct TVueTexts
{
    QString datecode = QStringLiteral("-");
    QString timecode = QStringLiteral("-");
    QString audio;
    QString audioRate;
    QString codec;
};

// "48000Hz 16bits stereo" and the like from a DV frame's audio format.
QString DvAudioText(const TDvFrameInfo &info);
// "PCM 192000 bytes/s", or empty when the rate is 0.
QString DvAudioRateText(const TDvFrameInfo &info);
// The picture text with the frame's own aspect: "720 x 576 (Pal" gives
// "720 x 576 (Pal 16x9)"; a text with no open parenthesis gets one.
QString PictureAspectText(const QString &pictureText, bool wide);
// "%.2d.%.2d.%.2d.%.2d" of the time code, the hours as a signed byte.
QString VueTimecodeText(const TDvTimecode &timecode);

// The texts of the frame `info` on a file whose picture text is
// `pictureText`; the audio texts only for DV type-1 files. With
// `detectorRunning` false (a stopped preview, or a file without DV) the date
// and time code are "-" and the audio text empty.
TVueTexts VueFrameTexts(bool detectorRunning, const TDvFrameInfo &info, bool dvType1,
                        const QString &pictureText, const QString &datecodeFormat);

// VueFrameTexts of one frame after another, for the position tick: each text
// is made again only when what it shows changed. The date (a second at a
// time), the audio format and the picture stay the same over many frames,
// and formatting them took longer than all the rest of a tick.
class TVueTextsMaker
{
public:
    const TVueTexts &Texts(bool detectorRunning, const TDvFrameInfo &info, bool dvType1,
                           const QString &pictureText, const QString &datecodeFormat);

private:
    bool m_made = false; // the texts are of m_info and the values below
    TDvFrameInfo m_info;
    bool m_dvType1 = false;
    QString m_pictureText;
    QString m_datecodeFormat;
    TVueTexts m_texts;
};

// The text with each of its digits made 0: texts of one form differ in
// their digits only.
QString DigitForm(const QString &text);
// True when the digits 0 to 9 of the font all advance alike.
bool DigitsEvenlyWide(const QFontMetrics &metrics);

// The slider (0..1000) of a position between start and stop; none when the
// range is empty.
std::optional<int> SliderPositionOf(std::int64_t position, std::int64_t start, std::int64_t stop);
// The position of a slider value (0..1000).
std::int64_t PositionOfSlider(int value, std::int64_t start, std::int64_t stop);

// The step of a step handler: frames with a frame rate, else 100 ns units.
enum class VueStep {
    Low,    // one frame, or 40 ms
    Medium, // one second
    High,   // one minute
};
struct VueStepSize
{
    bool inFrames = false;
    std::int64_t amount = 0;
};
VueStepSize VueStepSizeOf(VueStep step, double frameRate);

// The inputs and the result of ArrangeView.
struct VueLayoutInput
{
    QRect client;            // the frame's client rectangle
    bool fullScreen = false; // then the area is `screen`
    QRect screen;
    QSize picture; // the file's picture size; (0, 0) when unknown
    QSize message; // the message text's size, for an unknown picture
    QSize timeLabel;
    int sliderHeight = 0;
    int incrustHorzHeight = 0;
    int incrustVertWidth = 0;
    QSize shape{20, 20};
};
struct VueLayout
{
    QRect area;
    QRect video; // also the message backdrop's rectangle
    QRect message;
    QRect timeLabel;
    QRect slider;
    QRect incrustHorz;
    QRect incrustVert;
    QRect shape;
};
// The layout of the frame; none when no rectangle of the picture's aspect
// fits (an empty picture and message).
std::optional<VueLayout> ArrangeVueLayout(const VueLayoutInput &input);

} // namespace vidora
