#include "video/filters/yuvpicture.h"

#include "platform/media/filters/ffmpeg_support.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <cstring>

namespace vidora {

namespace {

AVPixelFormat formatOf(const YuvView &view)
{
    if (view.chromaShiftX == 1 && view.chromaShiftY == 1)
        return AV_PIX_FMT_YUV420P;
    if (view.chromaShiftX == 2 && view.chromaShiftY == 0)
        return AV_PIX_FMT_YUV411P;
    return AV_PIX_FMT_NONE;
}

// One swscale conversion of a whole picture of `width` × `height`.
bool convert(int width, int height, AVPixelFormat fromFormat, const std::uint8_t *const from[4],
             const int fromStrides[4], AVPixelFormat toFormat, std::uint8_t *const to[4],
             const int toStrides[4])
{
    const media::ffmpeg::SwsPtr scaler(sws_getContext(width, height, fromFormat, width, height,
                                                      toFormat, SWS_BICUBIC, nullptr, nullptr,
                                                      nullptr));
    return scaler && sws_scale(scaler.get(), from, fromStrides, 0, height, to, toStrides) == height;
}

} // namespace

bool YuvView::valid() const
{
    if (width <= 0 || height <= 0 || formatOf(*this) == AV_PIX_FMT_NONE)
        return false;
    if (width % (1 << chromaShiftX) != 0 || height % (1 << chromaShiftY) != 0)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (planes[i] == nullptr || strides[i] < (i == 0 ? width : chromaWidth()))
            return false;
    }
    return true;
}

YuvView yuvSampleView(std::uint8_t *buffer, std::size_t size, int width, int height,
                      int chromaShiftX, int chromaShiftY)
{
    YuvView view;
    view.width = width;
    view.height = height;
    view.chromaShiftX = chromaShiftX;
    view.chromaShiftY = chromaShiftY;
    if (buffer == nullptr || width <= 0 || height <= 0 ||
        size < YuvImageSize(width, height, chromaShiftX, chromaShiftY))
        return {};
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    const std::size_t chroma = static_cast<std::size_t>(view.chromaWidth()) *
                               static_cast<std::size_t>(view.chromaHeight());
    view.planes = {buffer, buffer + luma, buffer + luma + chroma};
    view.strides = {width, view.chromaWidth(), view.chromaWidth()};
    return view.valid() ? view : YuvView{};
}

bool YuvToRgb24(const YuvView &from, Rgb24View to)
{
    if (!from.valid() || !to.valid() || !to.sameSize(from.width, from.height))
        return false;
    const std::uint8_t *src[4] = {from.planes[0], from.planes[1], from.planes[2], nullptr};
    const int srcStrides[4] = {static_cast<int>(from.strides[0]), static_cast<int>(from.strides[1]),
                               static_cast<int>(from.strides[2]), 0};
    // Row 0 is the top whatever the memory order: a bottom-up picture is
    // addressed from its last row in memory with a negative stride.
    std::uint8_t *dst[4] = {to.row(0), nullptr, nullptr, nullptr};
    const int dstStrides[4] = {
        static_cast<int>(to.order == RowOrder::TopDown ? to.stride : -to.stride), 0, 0, 0};
    return convert(from.width, from.height, formatOf(from), src, srcStrides, AV_PIX_FMT_BGR24, dst,
                   dstStrides);
}

bool Rgb24ToYuv(ConstRgb24View from, const YuvView &to)
{
    if (!from.valid() || !to.valid() || !from.sameSize(to.width, to.height))
        return false;
    const std::uint8_t *src[4] = {from.row(0), nullptr, nullptr, nullptr};
    const int srcStrides[4] = {
        static_cast<int>(from.order == RowOrder::TopDown ? from.stride : -from.stride), 0, 0, 0};
    std::uint8_t *dst[4] = {to.planes[0], to.planes[1], to.planes[2], nullptr};
    const int dstStrides[4] = {static_cast<int>(to.strides[0]), static_cast<int>(to.strides[1]),
                               static_cast<int>(to.strides[2]), 0};
    return convert(to.width, to.height, AV_PIX_FMT_BGR24, src, srcStrides, formatOf(to), dst,
                   dstStrides);
}

bool CopyYuv(const YuvView &from, const YuvView &to)
{
    if (!from.valid() || !to.valid() || !to.sameSize(from.width, from.height) ||
        from.chromaShiftX != to.chromaShiftX || from.chromaShiftY != to.chromaShiftY)
        return false;
    for (int i = 0; i < 3; ++i) {
        const int rows = i == 0 ? from.height : from.chromaHeight();
        const int bytes = i == 0 ? from.width : from.chromaWidth();
        for (int y = 0; y < rows; ++y)
            std::memcpy(to.planes[i] + y * to.strides[i], from.planes[i] + y * from.strides[i],
                        static_cast<std::size_t>(bytes));
    }
    return true;
}

} // namespace vidora
