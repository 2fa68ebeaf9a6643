#pragma once

// One scene of a video: an interval of its frames with the texts and the
// thumbnail that the scene editor, the scene file, the listings and the
// exports show. Scenes belong to a scene list (TSceneList), which owns them.
//
// What a scene needs of the program around it comes in a TSceneContext: the
// active video's values, the duration style, the datecode pattern and, for
// the details, the preview (an IScenePreview that the window layer gives).
#include "video/filters/dvframeinfo.h"

#include <QImage>
#include <QLocale>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vidora {

class TaviFichier;

// The values of the active list entry that scenes, durations and title
// templates use.
struct TSceneVideo
{
    QString path; // full path of the video
    std::int32_t width = 0;
    std::int32_t height = 0;
    double frameRate = 0; // frames per second
    std::int64_t frameCount = 0;
    QString codec;       // four characters
    QString pictureText; // "720 x 576 (Pal"
    QString aspectText;  // " 4x3)"
    QString audioText;
    bool isDv = false;     // opened as DV for its details
    double dateOffset = 0; // days added to the recording date, as the preview adds them

    static TSceneVideo FromEntry(const TaviFichier &entry);
};

// A video positioned on a frame, as the scene details read it. Called on
// the GUI thread only.
class IScenePreview
{
public:
    virtual ~IScenePreview() = default;
    // Positions on `frame` of `video` and returns, when it is shown there,
    // the DV information of that frame and its full-size picture with the
    // preview's date overlay drawn in. False when the frame cannot be shown.
    virtual bool ShowFrame(const TSceneVideo &video, std::uint32_t frame, TDvFrameInfo &info,
                           QImage &picture) = 0;
    // Lets go of any file opened only for the details (the end of a
    // command's file). The default holds none.
    virtual void Release() {}
};

// Duration styles of the setting "Format Durée".
inline constexpr std::uint8_t kDurationDotted = 0; // "1:00:00.00"
inline constexpr std::uint8_t kDurationClock = 1;  // the time-code text "1:00:00:00"
inline constexpr std::uint8_t kDurationHMSF = 2;   // "1h 00mn 00s 00fr"

struct TSceneContext
{
    std::optional<TSceneVideo> video;              // the active entry; none when the list is empty
    std::uint8_t durationFormat = kDurationDotted; // "Format Durée"
    QString datecodeFormat = QStringLiteral("ddddd tt"); // "Format pour Afficher Datecode"
    QLocale locale;
    IScenePreview *preview = nullptr; // not owned; none outside the window layer
};

// The caption prefix of a scene ("Scene 3: Beach").
inline const QString kSceneWord = QStringLiteral("Scene");

// The largest size of the picture's aspect that fits in 320 × 240, in integer
// arithmetic; 0 × 0 when a side is below 1.
QSize ThumbnailSize(std::int32_t width, std::int32_t height);

// A video's frame count as the scene frames hold it: 0 for a negative count,
// the largest 32-bit frame number past it.
std::uint32_t SceneFrames(std::int64_t frameCount);

// "%d:%.2d:%.2d:%.2d" of a frame position: whole seconds of frame ÷ fps, then
// the frames left over, both truncated toward zero. "??" without a rate.
QString ScenePositionText(std::int64_t frame, double fps);

class TSceneClass
{
public:
    // A scene of the frames [startFrame, endFrame). Throws std::range_error
    // when endFrame < startFrame. The duration text is set (empty without an
    // active video), and the position texts with an active video of a frame
    // rate above 0. No picture yet: a thumbnail is made by FillDetails, only
    // for the scenes that show or export one.
    TSceneClass(std::uint32_t startFrame, std::uint32_t endFrame, const TSceneContext &context);
    virtual ~TSceneClass() = default;

    // Reads the recording date and time code of the scene's first frame
    // through the context's preview, fills the position texts and sets
    // Detailed; with `thumbnail`, also makes the thumbnail (ThumbnailSize of
    // the video; black when the picture cannot be shown). GUI thread. False
    // without an active video of a frame rate above 0, and, with only the
    // position texts filled, without a preview or when the frame cannot be
    // shown.
    bool FillDetails(const TSceneContext &context, bool thumbnail = true);

    // "Scene " + Number + ": " + Title.
    QString GetCaption() const;
    void ClearTitles();

    // EndFrame − StartFrame; throws std::range_error when negative.
    std::uint32_t Length() const;

    bool Detailed = false;
    std::uint32_t StartFrame = 0;
    std::uint32_t EndFrame = 0; // first frame after the scene
    double RecDate = 0;         // day number; 0 until filled
    QString DatecodeText;
    QString TimecodeText;
    QString StartText;
    QString EndText;
    QImage Thumbnail;              // 24 bits per pixel; null until FillDetails makes it
    std::uint32_t ThumbOffset = 0; // frames from StartFrame of the thumbnail's picture
    QString Title;
    QString Subtitle;
    std::int32_t Number = 0; // from 1 in its list
    QString DurationText;

private:
    void FillPositionTexts(double fps);
};

// An item of a scene list: the text shown, and the scene.
struct TSceneItem
{
    QString Text;
    std::shared_ptr<TSceneClass> Scene;
};
using TSceneList = std::vector<TSceneItem>;

} // namespace vidora
