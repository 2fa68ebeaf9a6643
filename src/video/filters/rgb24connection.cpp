#include "video/filters/rgb24connection.h"

#include <cstdlib>
#include <limits>

namespace vidora {

namespace {

template <typename Byte>
BasicRgb24View<Byte> makeView(Byte *bits, std::size_t size, const Rgb24Geometry &geometry)
{
    if (size < Rgb24ImageSize(geometry.width, geometry.height))
        return {};
    return {bits, geometry.width, geometry.height, Rgb24Stride(geometry.width), geometry.order};
}

} // namespace

std::optional<Rgb24Geometry> Rgb24GeometryOf(const media::MediaType &type)
{
    const auto info = type.videoInfo();
    if (!info)
        return std::nullopt;
    const std::int32_t width = info->bmiHeader.biWidth;
    const std::int32_t height = info->bmiHeader.biHeight;
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return Rgb24Geometry{width, std::abs(height),
                         height > 0 ? RowOrder::BottomUp : RowOrder::TopDown};
}

Rgb24View Rgb24SampleView(media::MediaSample &sample, const Rgb24Geometry &geometry)
{
    return makeView(sample.data(), sample.actualLength(), geometry);
}

ConstRgb24View Rgb24SampleView(const media::MediaSample &sample, const Rgb24Geometry &geometry)
{
    return makeView(sample.data(), sample.actualLength(), geometry);
}

} // namespace vidora
