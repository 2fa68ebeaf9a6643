#pragma once

// The null renderer: takes any stream and discards it, ending the stream
// like any renderer (cueing, end of stream, position).
#include "platform/media/renderer.h"

namespace vidora::media {

class NullRenderer final : public RendererFilter
{
public:
    NullRenderer() : RendererFilter("Null Renderer", "In") {}
    bool CheckInputType(const MediaType &) override { return true; }
    Flow DoRenderSample(const MediaSample &) override { return Flow::Ok; }
};

} // namespace vidora::media
