#include "video/filters/rgb24picture.h"

#include <cstring>

namespace vidora {

Rgb24View viewOf(QImage &image)
{
    if (image.format() != QImage::Format_BGR888 || image.isNull())
        return {};
    return {image.bits(), image.width(), image.height(), image.bytesPerLine(), RowOrder::TopDown};
}

ConstRgb24View viewOf(const QImage &image)
{
    if (image.format() != QImage::Format_BGR888 || image.isNull())
        return {};
    return {image.constBits(), image.width(), image.height(), image.bytesPerLine(),
            RowOrder::TopDown};
}

namespace {

template <typename Byte>
BasicRgb24View<Byte> makeSampleView(Byte *buffer, std::size_t size, int width, int height)
{
    if (buffer == nullptr || width <= 0 || height <= 0 || Rgb24ImageSize(width, height) > size)
        return {};
    return {buffer, width, height, Rgb24Stride(width), RowOrder::BottomUp};
}

} // namespace

Rgb24View sampleView(std::uint8_t *buffer, std::size_t size, int width, int height)
{
    return makeSampleView(buffer, size, width, height);
}

ConstRgb24View sampleView(const std::uint8_t *buffer, std::size_t size, int width, int height)
{
    return makeSampleView(buffer, size, width, height);
}

bool CopyRgb24(ConstRgb24View from, Rgb24View to)
{
    if (!from.valid() || !to.valid() || !to.sameSize(from.width, from.height))
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(from.width) * 3;
    for (int y = 0; y < from.height; ++y) {
        const std::uint8_t *source = from.row(y);
        std::uint8_t *target = to.row(y);
        if (source != target)
            std::memmove(target, source, rowBytes);
    }
    return true;
}

void ensureRgb24Image(QImage &image, int width, int height)
{
    if (image.format() != QImage::Format_BGR888 || image.width() != width ||
        image.height() != height) {
        image = QImage(width, height, QImage::Format_BGR888);
        image.fill(Qt::black);
    }
}

} // namespace vidora
