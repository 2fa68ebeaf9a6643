#include "platform/media/filters/ffmpeg_support.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <thread>

namespace vidora::media::ffmpeg {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int defaultThreadCount()
{
    const unsigned n = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(n, 1u, 8u));
}

MediaType rgb24Type(int width, int height, std::int64_t avgTimePerFrame, bool topDown)
{
    VideoInfoHeader info;
    info.rcSource = {0, 0, width, height};
    info.rcTarget = {0, 0, width, height};
    info.AvgTimePerFrame = avgTimePerFrame;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = topDown ? -height : height;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = 0;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(rgb24ImageSize(width, height));
    if (avgTimePerFrame > 0) {
        const double bits = static_cast<double>(info.bmiHeader.biSizeImage) * 8.0 * 1e7 /
                            static_cast<double>(avgTimePerFrame);
        info.dwBitRate = static_cast<std::uint32_t>(std::min(bits, 4294967295.0));
    }
    return MediaType::video(subtype::Rgb24, info);
}

namespace {

constexpr Subtype Rgb32 = fourCC("RGB4");
constexpr Subtype Uyvy = fourCC("UYVY");
using subtype::I420;
using subtype::Y41b;
constexpr Subtype Iyuv = fourCC("IYUV");
constexpr Subtype Yv12 = fourCC("YV12");

} // namespace

std::optional<PictureLayout> pictureLayout(const MediaType &type)
{
    if (type.major() != MajorType::Video)
        return std::nullopt;
    const auto info = type.videoInfo();
    if (!info)
        return std::nullopt;
    const auto &bmi = info->bmiHeader;
    if (bmi.biWidth <= 0 || bmi.biHeight == 0 || bmi.biWidth > 16384 || bmi.biHeight > 16384 ||
        bmi.biHeight < -16384)
        return std::nullopt;
    PictureLayout layout;
    layout.width = bmi.biWidth;
    layout.height = bmi.biHeight < 0 ? -bmi.biHeight : bmi.biHeight;
    const auto w = static_cast<std::size_t>(layout.width);
    const auto h = static_cast<std::size_t>(layout.height);
    const Subtype sub = type.subtype();
    if (bmi.biCompression == 0 && (bmi.biBitCount == 24 || bmi.biBitCount == 32)) {
        if ((bmi.biBitCount == 24 && sub != subtype::Rgb24) ||
            (bmi.biBitCount == 32 && sub != Rgb32))
            return std::nullopt;
        layout.format = bmi.biBitCount == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
        layout.bottomUp = bmi.biHeight > 0;
        layout.imageSize =
            bmi.biBitCount == 24 ? rgb24ImageSize(layout.width, layout.height) : w * 4 * h;
        return layout;
    }
    if (sub != bmi.biCompression)
        return std::nullopt;
    if (sub == subtype::Yuy2 || sub == Uyvy) {
        if (layout.width % 2)
            return std::nullopt;
        layout.format = sub == subtype::Yuy2 ? AV_PIX_FMT_YUYV422 : AV_PIX_FMT_UYVY422;
        layout.imageSize = w * 2 * h;
        return layout;
    }
    if (sub == I420 || sub == Iyuv || sub == Yv12) {
        if (layout.width % 2 || layout.height % 2)
            return std::nullopt;
        layout.format = AV_PIX_FMT_YUV420P;
        layout.chromaVFirst = sub == Yv12;
        layout.imageSize = w * h * 3 / 2;
        return layout;
    }
    if (sub == Y41b) {
        if (layout.width % 4)
            return std::nullopt;
        layout.format = AV_PIX_FMT_YUV411P;
        layout.imageSize = w * h * 3 / 2;
        return layout;
    }
    return std::nullopt;
}

MediaType planarType(AVPixelFormat format, int width, int height, std::int64_t avgTimePerFrame)
{
    const bool quarter = format == AV_PIX_FMT_YUV411P;
    if ((!quarter && format != AV_PIX_FMT_YUV420P) || width <= 0 || height <= 0 ||
        width % (quarter ? 4 : 2) != 0 || (!quarter && height % 2 != 0))
        return MediaType();
    const Subtype sub = quarter ? Y41b : I420;
    const std::size_t size = static_cast<std::size_t>(width) * height * 3 / 2;
    VideoInfoHeader info;
    info.rcSource = {0, 0, width, height};
    info.rcTarget = {0, 0, width, height};
    info.AvgTimePerFrame = avgTimePerFrame;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biBitCount = 12;
    info.bmiHeader.biCompression = sub;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(size);
    MediaType type = MediaType::video(sub, info);
    type.fixedSizeSamples = true;
    type.sampleSize = static_cast<std::uint32_t>(size);
    return type;
}

void pictureArrays(const PictureLayout &layout, const std::uint8_t *buffer,
                   const std::uint8_t *data[4], int linesize[4])
{
    const int w = layout.width;
    const int h = layout.height;
    for (int i = 0; i < 4; ++i) {
        data[i] = nullptr;
        linesize[i] = 0;
    }
    switch (layout.format) {
    case AV_PIX_FMT_BGR24:
    case AV_PIX_FMT_BGRA: {
        const auto stride = layout.format == AV_PIX_FMT_BGR24 ? rgb24Stride(w) : w * 4;
        if (layout.bottomUp) {
            data[0] = buffer + stride * (h - 1);
            linesize[0] = static_cast<int>(-stride);
        } else {
            data[0] = buffer;
            linesize[0] = static_cast<int>(stride);
        }
        break;
    }
    case AV_PIX_FMT_YUYV422:
    case AV_PIX_FMT_UYVY422:
        data[0] = buffer;
        linesize[0] = w * 2;
        break;
    default: { // planar 4:2:0 or 4:1:1 (a quarter of the luma each); YV12 has V before U
        const std::size_t luma = static_cast<std::size_t>(w) * h;
        data[0] = buffer;
        data[layout.chromaVFirst ? 2 : 1] = buffer + luma;
        data[layout.chromaVFirst ? 1 : 2] = buffer + luma + luma / 4;
        linesize[0] = w;
        linesize[1] = linesize[2] = layout.format == AV_PIX_FMT_YUV411P ? w / 4 : w / 2;
        break;
    }
    }
}

} // namespace vidora::media::ffmpeg
