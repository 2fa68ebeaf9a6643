#pragma once

// Media routines the graph builders call on filters.
#include <cstdint>

namespace vidora::media {

class Filter;

// Sets the sample rate an audio conversion filter produces: takes the media
// type of the filter's first pin (its connected input), sets its sample rate
// to `rate` and its byte rate to channels × rate × bytes per sample when it
// is a WAVEFORMATEX, and hands it to IAMStreamConfig::SetFormat of the
// filter's second pin (its output). False on every failure (no filter, an
// unconnected input, no IAMStreamConfig, a format refused), the filter then
// unchanged.
bool SetAudioSampleRate(Filter *filter, std::uint32_t rate);

} // namespace vidora::media
