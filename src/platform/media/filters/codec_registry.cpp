#include "platform/media/filters/codec_registry.h"

#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/colour_converter.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/video_decoder.h"

namespace vidora::media {

void registerCodecFilters(FilterRegistry &registry)
{
    registry.add(
        {"DV Video Decoder", merit::Preferred, [] { return std::make_shared<DvDecoderFilter>(); }});
    registry.add(
        {"Video Decoder", merit::Normal, [] { return std::make_shared<VideoDecoderFilter>(); }});
    registry.add(
        {"ACM Wrapper", merit::Normal, [] { return std::make_shared<AudioConverterFilter>(); }});
    registry.add({"Color Space Converter", merit::Unlikely,
                  [] { return std::make_shared<ColourConverterFilter>(); }});
}

} // namespace vidora::media
