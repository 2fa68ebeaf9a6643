#pragma once

// The deinterlacing of deinter.h with masks of its own, for callers that keep
// none (the still pictures of the overlay filter).
#include "video/filters/deinter.h"

namespace vidora {

// Deinterlace(source, dest, masks) with one scratch shared by every call
// in the process, sized to each source. Calls may come from several threads
// (the preview's streaming thread, the GUI thread, the processing graph's
// streaming thread); they take turns on the shared masks.
bool Deinterlace2(ConstRgb24View source, QImage &dest);

} // namespace vidora
