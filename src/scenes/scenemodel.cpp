#include "scenes/scenemodel.h"

#include "files/avifichier.h"
#include "formats/datetime.h"
#include "platform/shell/pathroutines.h"
#include "scenes/edittitres.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace vidora {

TSceneVideo TSceneVideo::FromEntry(const TaviFichier &entry)
{
    const TaviData &d = entry.Data();
    TSceneVideo video;
    video.path = entry.FullPath();
    video.width = d.width;
    video.height = d.height;
    video.frameRate = d.frameRate;
    video.frameCount = d.frameCount;
    video.codec = d.codec;
    video.pictureText = d.pictureText;
    video.aspectText = d.aspectText;
    video.audioText = d.audioText;
    video.isDv = d.isDv;
    video.dateOffset = entry.TimeOffset();
    return video;
}

QSize ThumbnailSize(std::int32_t width, std::int32_t height)
{
    const std::optional<QRect> fit = FitRectKeepAspect(width, height, QRect(0, 0, 320, 240));
    return fit ? fit->size() : QSize(0, 0);
}

std::uint32_t SceneFrames(std::int64_t frameCount)
{
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(frameCount, 0, std::numeric_limits<std::uint32_t>::max()));
}

QString ScenePositionText(std::int64_t frame, double fps)
{
    if (!std::isfinite(fps) || !(fps > 0))
        return QStringLiteral("??");
    const auto s = static_cast<std::int64_t>(std::trunc(static_cast<double>(frame) / fps));
    const auto f = static_cast<std::int64_t>(
        std::trunc(static_cast<double>(frame) - static_cast<double>(s) * fps));
    return QString::asprintf("%lld:%.2lld:%.2lld:%.2lld", static_cast<long long>(s / 3600),
                             static_cast<long long>((s / 60) % 60), static_cast<long long>(s % 60),
                             static_cast<long long>(f));
}

TSceneClass::TSceneClass(std::uint32_t startFrame, std::uint32_t endFrame,
                         const TSceneContext &context)
    : StartFrame(startFrame), EndFrame(endFrame)
{
    const std::uint32_t length = Length(); // refuses an end before the start
    DurationText = FormatDuration(length, context);
    if (context.video && context.video->frameRate > 0)
        FillPositionTexts(context.video->frameRate);
}

void TSceneClass::FillPositionTexts(double fps)
{
    StartText = ScenePositionText(StartFrame, fps);
    // The last frame of the scene; a scene without frames names the frame
    // before its start (-1 reads as 0:00:00:-1 at frame 0).
    EndText = ScenePositionText(static_cast<std::int64_t>(EndFrame) - 1, fps);
}

std::uint32_t TSceneClass::Length() const
{
    if (EndFrame < StartFrame)
        throw std::range_error("scene ends before it starts");
    return EndFrame - StartFrame;
}

bool TSceneClass::FillDetails(const TSceneContext &context, bool thumbnail)
{
    if (!context.video || !(context.video->frameRate > 0))
        return false;
    const TSceneVideo &video = *context.video;
    FillPositionTexts(video.frameRate);
    if (!context.preview)
        return false;
    TDvFrameInfo info;
    QImage picture;
    if (!context.preview->ShowFrame(video, StartFrame, info, picture))
        return false;
    if (info.HasDate) {
        RecDate = info.RecDateTime;
        try {
            DatecodeText = FormatDateTime(context.datecodeFormat, RecDate, context.locale);
        } catch (const std::exception &) {
            DatecodeText = QStringLiteral("N/A");
        }
    } else {
        DatecodeText = QStringLiteral("N/A");
    }
    if (info.HasTimecode) {
        const TDvTimecode &t = info.Timecode;
        TimecodeText = QString::asprintf("%.2d.%.2d.%.2d.%.2d", int(t.Hours), int(t.Minutes),
                                         int(t.Seconds), int(t.Frames));
    } else {
        TimecodeText = QStringLiteral("N/A");
    }
    if (thumbnail) {
        const QSize size = ThumbnailSize(video.width, video.height);
        if (ThumbOffset != 0) {
            TDvFrameInfo ignored;
            if (!context.preview->ShowFrame(video, StartFrame + ThumbOffset, ignored, picture))
                picture = QImage();
        }
        if (size.isEmpty()) {
            Thumbnail = QImage();
        } else if (picture.isNull()) {
            Thumbnail = QImage(size, QImage::Format_BGR888);
            Thumbnail.fill(Qt::black);
        } else {
            Thumbnail = picture.convertToFormat(QImage::Format_BGR888)
                            .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
    }
    Detailed = true;
    return true;
}

QString TSceneClass::GetCaption() const
{
    return kSceneWord + QLatin1Char(' ') + QString::number(Number) + QStringLiteral(": ") + Title;
}

void TSceneClass::ClearTitles()
{
    Title.clear();
    Subtitle.clear();
}

} // namespace vidora
