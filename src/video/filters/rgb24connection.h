#pragma once

// The picture size and row order of an RGB24 connection, and views of its
// samples, for the picture filters.
#include "platform/media/media_type.h"
#include "platform/media/sample.h"
#include "video/filters/rgb24picture.h"

#include <optional>

namespace vidora {

struct Rgb24Geometry
{
    int width = 0;
    int height = 0;
    RowOrder order = RowOrder::BottomUp; // a positive biHeight: bottom-up rows
};

// From the connection's VIDEOINFOHEADER; nothing without one, or for a size
// that is not positive.
std::optional<Rgb24Geometry> Rgb24GeometryOf(const media::MediaType &type);

// The picture in a sample's buffer (its actual length); invalid when the
// buffer is too short for the geometry.
Rgb24View Rgb24SampleView(media::MediaSample &sample, const Rgb24Geometry &geometry);
ConstRgb24View Rgb24SampleView(const media::MediaSample &sample, const Rgb24Geometry &geometry);

} // namespace vidora
