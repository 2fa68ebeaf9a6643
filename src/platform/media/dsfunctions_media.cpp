#include "platform/media/dsfunctions_media.h"

#include "platform/media/filter.h"
#include "platform/media/interfaces.h"

namespace vidora::media {

bool SetAudioSampleRate(Filter *filter, std::uint32_t rate)
{
    if (!filter)
        return false;
    Pin *input = filter->pin(0);
    Pin *output = filter->pin(1);
    if (!input || !output || !input->isConnected())
        return false;
    MediaType type = input->connectionType();
    if (auto wave = type.waveFormat()) {
        wave->nSamplesPerSec = rate;
        wave->nAvgBytesPerSec = wave->nChannels * rate * (wave->wBitsPerSample / 8u);
        type.setFormat(FormatType::WaveFormatEx, wave->bytes());
    }
    auto *config = output->queryInterface<IAMStreamConfig>();
    return config && config->SetFormat(type);
}

} // namespace vidora::media
