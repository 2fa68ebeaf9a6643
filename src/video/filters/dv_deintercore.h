#pragma once

// The per-frame work of the deinterlacing filter, apart from the media layer:
// every decoded RGB24 picture passing the filter is deinterlaced in place.
// Used on the streaming thread only.
#include "video/filters/deinter.h"
#include "video/filters/rgb24picture.h"

namespace vidora {

class DeinterCore
{
public:
    // Start of streaming, with the connected picture size: sizes the masks once
    // for the stream. False, and nothing changed, for a size that is not positive.
    bool StartStreaming(int width, int height);

    // Deinterlaces the sample's picture in place. False, and the sample left as
    // it was, when it is not a picture of the streamed size.
    bool Transform(Rgb24View sample);

private:
    int m_width = 0;
    int m_height = 0;
    DeinterlaceMasks m_masks;
};

} // namespace vidora
