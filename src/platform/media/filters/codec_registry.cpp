#include "platform/media/filters/codec_registry.h"

#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/audio_renderer.h"
#include "platform/media/filters/colour_converter.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/video_decoder.h"
#include "platform/media/filters/video_renderer.h"

namespace vidora::media {

void registerCodecFilters(FilterRegistry &registry)
{
    // Interleaved DV (type 1) is split into its video and audio first.
    registry.add(
        {"DV Splitter", merit::Normal, [] { return std::make_shared<DvSplitterFilter>(); }});
    registry.add(
        {"DV Video Decoder", merit::Preferred, [] { return std::make_shared<DvDecoderFilter>(); }});
    registry.add(
        {"Video Decoder", merit::Normal, [] { return std::make_shared<VideoDecoderFilter>(); }});
    registry.add(
        {"ACM Wrapper", merit::Normal, [] { return std::make_shared<AudioConverterFilter>(); }});
    registry.add({"Color Space Converter", merit::Unlikely,
                  [] { return std::make_shared<ColourConverterFilter>(); }});
}

void registerRendererFilters(FilterRegistry &registry)
{
    constexpr int RendererMerit = merit::Normal + 1;
    registry.add(
        {"Video Renderer", RendererMerit, [] { return std::make_shared<VideoRendererFilter>(); }});
    registry.add(
        {"Audio Renderer", RendererMerit, [] { return std::make_shared<AudioRendererFilter>(); }});
}

} // namespace vidora::media
