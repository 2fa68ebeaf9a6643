#pragma once

// Registry entries of the codec and converter filters, so that Render and
// RenderStream insert them where a stream needs them.
#include "platform/media/registry.h"

namespace vidora::media {

// Adds the DV splitter (for interleaved DV), the DV video decoder (preferred), the generic video
// decoder and the audio converter (normal) and the colour converter (unlikely: only when nothing
// takes the format itself).
void registerCodecFilters(FilterRegistry &registry);

// Adds the video and the audio renderer, tried after the DV decoder and before
// the generic decoder and the converters. A converter takes its own output
// format (the audio converter passes 16-bit PCM, the colour converter RGB24),
// so a renderer tried after it would be reached only through a stack of
// converters; decoders take no renderer's format, so their place does not
// matter. A renderer made by the registry has no video sink (its pictures are
// dropped until one is set) and plays sound on the default device when there
// is one.
void registerRendererFilters(FilterRegistry &registry);

} // namespace vidora::media
