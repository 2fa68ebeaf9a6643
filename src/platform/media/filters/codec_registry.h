#pragma once

// Registry entries of the codec and converter filters, so that Render and
// RenderStream insert them where a stream needs them.
#include "platform/media/registry.h"

namespace vidora::media {

// Adds the DV video decoder (preferred), the generic video decoder and the
// audio converter (normal) and the colour converter (unlikely: only when nothing takes the format
// itself).
void registerCodecFilters(FilterRegistry &registry);

} // namespace vidora::media
