#include "scenes/scenemodel.h"

#include "files/avifichier.h"
#include "formats/datetime.h"
#include "platform/shell/pathroutines.h"
#include "scenes/edittitres.h"

#include <cmath>
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
    return video;
}

QSize ThumbnailSize(std::int32_t width, std::int32_t height)
{
    const std::optional<QRect> fit = FitRectKeepAspect(width, height, QRect(0, 0, 320, 240));
    return fit ? fit->size() : QSize(0, 0);
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
    QSize size(0, 0);
    if (context.video)
        size = ThumbnailSize(context.video->width, context.video->height);
    Thumbnail = size.isEmpty() ? QImage() : QImage(size, QImage::Format_BGR888);
    if (!Thumbnail.isNull())
        Thumbnail.fill(Qt::black);
    DurationText = FormatDuration(static_cast<std::int32_t>(length), context);
}

std::uint32_t TSceneClass::Length() const
{
    if (EndFrame < StartFrame)
        throw std::range_error("scene ends before it starts");
    return EndFrame - StartFrame;
}

bool TSceneClass::FillDetails(const TSceneContext &context)
{
    if (!context.video || !context.preview || !(context.video->frameRate > 0))
        return false;
    TDvFrameInfo info;
    QImage picture;
    if (!context.preview->ShowFrame(context.video->path, StartFrame, info, picture))
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
    const double fps = context.video->frameRate;
    StartText = ScenePositionText(StartFrame, fps);
    // The last frame of the scene; a scene without frames names the frame
    // before its start (-1 reads as 0:00:00:-1 at frame 0).
    EndText = ScenePositionText(static_cast<std::int64_t>(EndFrame) - 1, fps);
    if (ThumbOffset != 0) {
        TDvFrameInfo ignored;
        if (!context.preview->ShowFrame(context.video->path, StartFrame + ThumbOffset, ignored,
                                        picture))
            picture = QImage();
    }
    if (!Thumbnail.isNull()) {
        if (picture.isNull())
            Thumbnail.fill(Qt::black);
        else
            Thumbnail =
                picture.convertToFormat(QImage::Format_BGR888)
                    .scaled(Thumbnail.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
