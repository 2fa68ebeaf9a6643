#include "video/filters/dv_deintercore.h"

namespace vidora {

bool DeinterCore::StartStreaming(int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    m_width = width;
    m_height = height;
    m_masks.resize(width, height);
    return true;
}

bool DeinterCore::Transform(Rgb24View sample)
{
    if (m_width <= 0 || !sample.valid() || !sample.sameSize(m_width, m_height))
        return false;
    return Deinterlace(sample, sample, m_masks);
}

} // namespace vidora
