#pragma once

// 24-bit pictures as the program's filters exchange them: three bytes per pixel
// in the order blue, green, red, each row padded to a multiple of 4 bytes (the
// rule of device-independent bitmaps, which QImage::Format_BGR888 follows too).
//
// A decoded RGB24 media sample is a bottom-up bitmap: its first row in memory is
// the bottom row of the picture (a VIDEOINFOHEADER with a positive height).
// The filters' own working pictures are QImages, which are top-down. A view
// carries its row order, and every routine here addresses rows from the top of
// the picture, so "odd rows" always means the second field counted from the top,
// whatever the memory order.
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vidora {

enum class RowOrder : std::uint8_t {
    TopDown,  // first row in memory is the top row (QImage)
    BottomUp, // first row in memory is the bottom row (DIB, RGB24 media samples)
};

// Bytes per row of a 24-bit picture `width` pixels wide: width × 3 rounded up to
// a multiple of 4. 0 for a negative width.
constexpr std::ptrdiff_t Rgb24Stride(int width)
{
    return width <= 0 ? 0 : (static_cast<std::ptrdiff_t>(width) * 3 + 3) / 4 * 4;
}

// Bytes of a whole 24-bit picture with padded rows: the image size a media type
// for it must give (width × height × 3 falls short when width × 3 is not a
// multiple of 4).
constexpr std::size_t Rgb24ImageSize(int width, int height)
{
    return height <= 0 ? 0 : static_cast<std::size_t>(Rgb24Stride(width)) * height;
}

// A picture in memory the view does not own. Byte is std::uint8_t or const
// std::uint8_t.
template <typename Byte>
struct BasicRgb24View
{
    Byte *bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row in memory to the next, at least width × 3
    RowOrder order = RowOrder::BottomUp;

    // Pixel row y counted from the top of the picture, 0 <= y < height.
    Byte *row(int y) const
    {
        const int memoryRow = order == RowOrder::TopDown ? y : height - 1 - y;
        return bits + memoryRow * stride;
    }

    // A non-empty picture whose rows hold their pixels.
    bool valid() const
    {
        return bits != nullptr && width > 0 && height > 0 &&
               stride >= static_cast<std::ptrdiff_t>(width) * 3;
    }

    bool sameSize(int w, int h) const { return width == w && height == h; }

    operator BasicRgb24View<const std::uint8_t>() const requires(!std::is_const_v<Byte>)
    {
        return {bits, width, height, stride, order};
    }
};

using Rgb24View = BasicRgb24View<std::uint8_t>;
using ConstRgb24View = BasicRgb24View<const std::uint8_t>;

// A view of a Format_BGR888 image (any other format gives an invalid view).
// The mutable form detaches the image.
Rgb24View viewOf(QImage &image);
ConstRgb24View viewOf(const QImage &image);

// A view of a whole media sample buffer of `size` bytes holding a bottom-up
// picture with the padded stride; invalid when the buffer is too short.
Rgb24View sampleView(std::uint8_t *buffer, std::size_t size, int width, int height);
ConstRgb24View sampleView(const std::uint8_t *buffer, std::size_t size, int width, int height);

// Copies the pixels (not the row padding) of one picture into another of the
// same size, converting the row order. False, and nothing written, when either
// view is invalid or the sizes differ.
bool CopyRgb24(ConstRgb24View from, Rgb24View to);

// Makes `image` a Format_BGR888 picture of the given size, reusing its memory
// (and pixels) when it already is one; a new picture is black.
void ensureRgb24Image(QImage &image, int width, int height);

} // namespace vidora
