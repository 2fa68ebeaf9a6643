#include "platform/media/filters/audio_converter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace vidora::media {

namespace {

constexpr std::uint16_t TagPcm = 0x0001;
constexpr std::uint16_t TagFloat = 0x0003;
constexpr std::uint16_t TagExtensible = 0xFFFE;
constexpr std::array<std::uint32_t, 3> OfferedRates{48000, 44100, 32000};
constexpr std::uint32_t MinRate = 1000;
constexpr std::uint32_t MaxRate = 384000;
constexpr int MaxChannels = 8;

// The format tag that describes the samples: an extensible format's
// sub-format (the first two bytes of its GUID, after 6 bytes of fields).
std::uint16_t effectiveTag(const WaveFormatEx &w)
{
    if (w.wFormatTag == TagExtensible && w.extra.size() >= 22)
        return static_cast<std::uint16_t>(w.extra[6] | w.extra[7] << 8);
    return w.wFormatTag;
}

// The sample format libswresample reads for uncompressed input.
AVSampleFormat pcmSampleFormat(const WaveFormatEx &w)
{
    const auto tag = effectiveTag(w);
    if (tag == TagPcm) {
        switch (w.wBitsPerSample) {
        case 8:
            return AV_SAMPLE_FMT_U8;
        case 16:
            return AV_SAMPLE_FMT_S16;
        case 24: // widened to 32 bits before conversion
        case 32:
            return AV_SAMPLE_FMT_S32;
        default:
            return AV_SAMPLE_FMT_NONE;
        }
    }
    if (tag == TagFloat)
        return w.wBitsPerSample == 32   ? AV_SAMPLE_FMT_FLT
               : w.wBitsPerSample == 64 ? AV_SAMPLE_FMT_DBL
                                        : AV_SAMPLE_FMT_NONE;
    return AV_SAMPLE_FMT_NONE;
}

bool validInput(const WaveFormatEx &w)
{
    if (w.nChannels < 1 || w.nChannels > MaxChannels || w.nSamplesPerSec < MinRate ||
        w.nSamplesPerSec > MaxRate)
        return false;
    if (pcmSampleFormat(w) != AV_SAMPLE_FMT_NONE)
        return w.nBlockAlign == w.nChannels * (w.wBitsPerSample / 8);
    const AVCodecID id = codecForWaveTag(effectiveTag(w));
    return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

WaveFormatEx pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    WaveFormatEx w;
    w.wFormatTag = TagPcm;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = bits;
    w.nBlockAlign = static_cast<std::uint16_t>(channels * (bits / 8));
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    return w;
}

// The PCM width the output may have for this input: the input's own for PCM,
// else 16 bits.
bool allowedBits(const WaveFormatEx &in, std::uint16_t bits)
{
    if (bits == 16)
        return true;
    return effectiveTag(in) == TagPcm && bits == in.wBitsPerSample;
}

bool validOutput(const WaveFormatEx &in, const WaveFormatEx &out)
{
    return out.wFormatTag == TagPcm && out.nChannels == in.nChannels &&
           allowedBits(in, out.wBitsPerSample) &&
           out.nBlockAlign == out.nChannels * (out.wBitsPerSample / 8) &&
           out.nSamplesPerSec >= MinRate && out.nSamplesPerSec <= MaxRate;
}

// PCM input that the output takes as it is: same tag, channels, rate and
// width (packed 24 bits is widened and packed again, so it is converted).
bool samePcm(const WaveFormatEx &in, const WaveFormatEx &out)
{
    return effectiveTag(in) == TagPcm && in.wBitsPerSample != 24 && in.nChannels == out.nChannels &&
           in.nSamplesPerSec == out.nSamplesPerSec && in.wBitsPerSample == out.wBitsPerSample &&
           in.nBlockAlign == out.nBlockAlign;
}

AVSampleFormat outputSampleFormat(std::uint16_t bits)
{
    return bits == 8 ? AV_SAMPLE_FMT_U8 : bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
}

} // namespace

AVCodecID codecForWaveTag(std::uint16_t tag)
{
    switch (tag) {
    case 0x0002:
        return AV_CODEC_ID_ADPCM_MS;
    case 0x0006:
        return AV_CODEC_ID_PCM_ALAW;
    case 0x0007:
        return AV_CODEC_ID_PCM_MULAW;
    case 0x0011:
        return AV_CODEC_ID_ADPCM_IMA_WAV;
    case 0x0031:
        return AV_CODEC_ID_GSM_MS;
    case 0x0050:
        return AV_CODEC_ID_MP2;
    case 0x0055:
        return AV_CODEC_ID_MP3;
    case 0x00FF:
        return AV_CODEC_ID_AAC;
    case 0x2000:
        return AV_CODEC_ID_AC3;
    default:
        return AV_CODEC_ID_NONE;
    }
}

AudioConverterFilter::AudioConverterFilter() : TransformFilter("ACM Wrapper") {}

AudioConverterFilter::~AudioConverterFilter() = default;

bool AudioConverterFilter::CheckInputType(const MediaType &type)
{
    if (type.major() != MajorType::Audio)
        return false;
    const auto w = type.waveFormat();
    return w && validInput(*w);
}

bool AudioConverterFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    const auto wi = in.waveFormat();
    const auto wo = out.waveFormat();
    if (!wi || !wo || out.major() != MajorType::Audio || out.subtype() != TagPcm)
        return false;
    if (m_chosen && !output().isConnected() && !(*wo == *m_chosen))
        return false;
    return validOutput(*wi, *wo);
}

std::optional<MediaType> AudioConverterFilter::GetMediaType(int position)
{
    if (!input().isConnected() || position < 0)
        return std::nullopt;
    const auto in = input().connectionType().waveFormat();
    if (!in)
        return std::nullopt;
    std::vector<WaveFormatEx> offers;
    if (m_chosen && validOutput(*in, *m_chosen)) {
        offers.push_back(*m_chosen);
    } else {
        const bool pcmInput = effectiveTag(*in) == TagPcm;
        offers.push_back(pcmInput ? pcm(in->nChannels, in->nSamplesPerSec, in->wBitsPerSample)
                                  : pcm(in->nChannels, in->nSamplesPerSec, 16));
        for (const auto rate : OfferedRates) {
            const auto w = pcm(in->nChannels, rate, 16);
            if (std::find(offers.begin(), offers.end(), w) == offers.end())
                offers.push_back(w);
        }
    }
    if (static_cast<std::size_t>(position) >= offers.size())
        return std::nullopt;
    return MediaType::audio(offers[static_cast<std::size_t>(position)]);
}

bool AudioConverterFilter::SetFormat(const MediaType &type)
{
    if (state() != FilterState::Stopped || !input().isConnected() ||
        type.major() != MajorType::Audio)
        return false;
    const auto in = input().connectionType().waveFormat();
    auto out = type.waveFormat();
    if (!in || !out)
        return false;
    out->nAvgBytesPerSec = out->nSamplesPerSec * out->nBlockAlign;
    out->extra.clear();
    if (!validOutput(*in, *out))
        return false;
    m_chosen = *out;
    const auto connected = output().connectionType().waveFormat();
    m_announce = output().isConnected() && !(connected && *connected == *out);
    return true;
}

std::optional<MediaType> AudioConverterFilter::GetFormat() const
{
    const auto w = outputFormat();
    if (!w)
        return std::nullopt;
    return MediaType::audio(*w);
}

std::optional<WaveFormatEx> AudioConverterFilter::outputFormat() const
{
    if (m_chosen)
        return m_chosen;
    auto &out = const_cast<OutputPin &>(const_cast<AudioConverterFilter *>(this)->output());
    if (!out.isConnected())
        return std::nullopt;
    return out.connectionType().waveFormat();
}

void *AudioConverterFilter::pinInterface(const Pin &pin, const std::type_info &type)
{
    if (&pin == &output() && type == typeid(IAMStreamConfig))
        return static_cast<IAMStreamConfig *>(this);
    return TransformFilter::pinInterface(pin, type);
}

bool AudioConverterFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const auto w = output().connectionType().waveFormat();
    if (!w || w->nBlockAlign == 0)
        return false;
    // A quarter of a second per buffer; longer conversions use several.
    std::size_t size = std::max<std::size_t>(w->nAvgBytesPerSec / 4, 4096);
    size -= size % w->nBlockAlign;
    const auto granted = allocator.setProperties({4, size, 16});
    return granted && granted->size >= size;
}

bool AudioConverterFilter::openResampler(AVSampleFormat format, int rate,
                                         const AVChannelLayout &layout)
{
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, m_out.nChannels);
    SwrContext *raw = nullptr;
    const int made =
        swr_alloc_set_opts2(&raw, &outLayout, outputSampleFormat(m_out.wBitsPerSample),
                            static_cast<int>(m_out.nSamplesPerSec),
                            const_cast<AVChannelLayout *>(&layout), format, rate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    m_resampler.reset(raw);
    if (made < 0 || !m_resampler)
        return false;
    if (swr_init(m_resampler.get()) < 0) {
        m_resampler.reset();
        return false;
    }
    return true;
}

bool AudioConverterFilter::StartStreaming()
{
    const auto in = input().connectionType().waveFormat();
    const auto out = outputFormat();
    if (!in || !out || !validOutput(*in, *out))
        return false;
    m_in = *in;
    m_out = *out;
    m_outType = MediaType::audio(m_out);
    m_announced = !m_announce;
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame)
        return false;
    m_inSampleFormat = pcmSampleFormat(m_in);
    m_passThrough = m_inSampleFormat != AV_SAMPLE_FMT_NONE && samePcm(m_in, m_out);
    m_parser.reset();
    m_decoder.reset();
    m_resampler.reset();
    if (m_inSampleFormat != AV_SAMPLE_FMT_NONE) {
        AVChannelLayout layout;
        av_channel_layout_default(&layout, m_in.nChannels);
        const bool ok =
            openResampler(m_inSampleFormat, static_cast<int>(m_in.nSamplesPerSec), layout);
        av_channel_layout_uninit(&layout);
        if (!ok)
            return false;
    } else {
        const AVCodec *codec = avcodec_find_decoder(codecForWaveTag(effectiveTag(m_in)));
        if (!codec)
            return false;
        m_decoder.reset(avcodec_alloc_context3(codec));
        if (!m_decoder)
            return false;
        m_decoder->sample_rate = static_cast<int>(m_in.nSamplesPerSec);
        av_channel_layout_default(&m_decoder->ch_layout, m_in.nChannels);
        m_decoder->block_align = m_in.nBlockAlign;
        m_decoder->bit_rate = static_cast<std::int64_t>(m_in.nAvgBytesPerSec) * 8;
        m_decoder->bits_per_coded_sample = m_in.wBitsPerSample;
        if (!m_in.extra.empty()) {
            m_decoder->extradata = static_cast<std::uint8_t *>(
                av_mallocz(m_in.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!m_decoder->extradata)
                return false;
            std::memcpy(m_decoder->extradata, m_in.extra.data(), m_in.extra.size());
            m_decoder->extradata_size = static_cast<int>(m_in.extra.size());
        }
        if (avcodec_open2(m_decoder.get(), codec, nullptr) < 0)
            return false;
        m_parser.reset(av_parser_init(codec->id));
        // The resampler is made for the first decoded frame's format.
    }
    resetStream();
    return true;
}

void AudioConverterFilter::StopStreaming()
{
    m_resampler.reset();
    m_parser.reset();
    m_decoder.reset();
    m_frame.reset();
    m_packet.reset();
    m_pending.clear();
    m_scratch.clear();
}

void AudioConverterFilter::resetStream()
{
    m_pending.clear();
    m_outSamples = 0;
    m_timeBase.reset();
    m_discontinuity = false;
    if (m_decoder) {
        avcodec_flush_buffers(m_decoder.get());
        if (m_parser)
            m_parser.reset(av_parser_init(m_decoder->codec_id));
    }
    if (m_resampler) {
        // Forget the delay line of the previous segment.
        swr_close(m_resampler.get());
        swr_init(m_resampler.get());
    }
}

void AudioConverterFilter::NewSegment(std::int64_t, std::int64_t)
{
    if (isStreaming())
        resetStream();
}

bool AudioConverterFilter::convert(const std::uint8_t **data, int count)
{
    if (!m_resampler)
        return data == nullptr; // nothing decoded yet: nothing to drain
    const int room = swr_get_out_samples(m_resampler.get(), count);
    if (room < 0)
        return false;
    if (room == 0)
        return true;
    const std::size_t outBlock = m_out.wBitsPerSample == 24
                                     ? static_cast<std::size_t>(m_out.nChannels) * 4
                                     : m_out.nBlockAlign;
    m_scratch.resize(static_cast<std::size_t>(room) * outBlock);
    std::uint8_t *out[1] = {m_scratch.data()};
    const int made = swr_convert(m_resampler.get(), out, room, data, data ? count : 0);
    if (made < 0)
        return false;
    const auto samples = static_cast<std::size_t>(made) * m_out.nChannels;
    if (m_out.wBitsPerSample == 24) {
        // 32-bit samples to packed 24 bits: the three high bytes.
        for (std::size_t i = 0; i < samples; ++i)
            m_pending.insert(m_pending.end(), m_scratch.begin() + static_cast<long>(i * 4 + 1),
                             m_scratch.begin() + static_cast<long>(i * 4 + 4));
    } else {
        m_pending.insert(m_pending.end(), m_scratch.begin(),
                         m_scratch.begin() + static_cast<long>(made * m_out.nBlockAlign));
    }
    return true;
}

bool AudioConverterFilter::decode(const std::uint8_t *data, std::size_t size)
{
    if (!m_parser)
        return decodePacket(data, size);
    // A null input drains the parser, then the decoder.
    bool draining = data == nullptr;
    while (size > 0 || draining) {
        std::uint8_t *frame = nullptr;
        int frameSize = 0;
        const int used =
            av_parser_parse2(m_parser.get(), m_decoder.get(), &frame, &frameSize, data,
                             static_cast<int>(size), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0)
            return false;
        if (data) {
            data += used;
            size -= static_cast<std::size_t>(used);
        }
        if (frameSize > 0 && !decodePacket(frame, static_cast<std::size_t>(frameSize)))
            return false;
        if (draining) {
            if (frameSize > 0)
                continue;
            return decodePacket(nullptr, 0);
        }
    }
    return true;
}

bool AudioConverterFilter::decodePacket(const std::uint8_t *data, std::size_t size)
{
    if (data) {
        if (av_new_packet(m_packet.get(), static_cast<int>(size)) < 0)
            return false;
        std::memcpy(m_packet->data, data, size);
    }
    const int sent = avcodec_send_packet(m_decoder.get(), data ? m_packet.get() : nullptr);
    av_packet_unref(m_packet.get());
    // A damaged frame is skipped, not fatal: the next one decodes.
    if (sent < 0 && sent != AVERROR_EOF && sent != AVERROR_INVALIDDATA)
        return false;
    for (;;) {
        const int got = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return false;
        if (!m_resampler && !openResampler(static_cast<AVSampleFormat>(m_frame->format),
                                           m_frame->sample_rate, m_frame->ch_layout)) {
            av_frame_unref(m_frame.get());
            return false;
        }
        const bool ok =
            convert(const_cast<const std::uint8_t **>(m_frame->extended_data), m_frame->nb_samples);
        av_frame_unref(m_frame.get());
        if (!ok)
            return false;
    }
}

bool AudioConverterFilter::followInputChange(const MediaType &type, const MediaSample &sample)
{
    const auto in = type.waveFormat();
    if (!in || *in == m_in)
        return true;
    if (m_decoder || pcmSampleFormat(*in) == AV_SAMPLE_FMT_NONE)
        return false;
    // What the old format left in the resampler goes out first.
    if (!convert(nullptr, 0) || deliverPending(false) != Flow::Ok)
        return false;
    // An output that was the input's own format stays the input's own format.
    if (!m_chosen && m_out == m_in) {
        WaveFormatEx out = *in;
        out.extra.clear();
        if (!validOutput(*in, out))
            return false;
        m_out = out;
        m_outType = MediaType::audio(m_out);
        m_announced = false;
    }
    m_in = *in;
    m_inSampleFormat = pcmSampleFormat(m_in);
    m_passThrough = samePcm(m_in, m_out);
    m_pending.clear();
    m_outSamples = 0;
    m_timeBase = sample.time ? std::optional<std::int64_t>(sample.time->start) : std::nullopt;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, m_in.nChannels);
    const bool ok = openResampler(m_inSampleFormat, static_cast<int>(m_in.nSamplesPerSec), layout);
    av_channel_layout_uninit(&layout);
    return ok;
}

Flow AudioConverterFilter::Receive(const SamplePtr &sample)
{
    if (sample->typeChange && !followInputChange(*sample->typeChange, *sample)) {
        reportError(name() + ": the sound changed to a format that cannot be converted");
        return Flow::Error;
    }
    if (!m_timeBase && sample->time)
        m_timeBase = sample->time->start;
    m_discontinuity = m_discontinuity || sample->discontinuity;
    bool ok = true;
    const std::size_t size = sample->actualLength();
    if (m_decoder) {
        ok = size == 0 || decode(sample->data(), size);
    } else {
        const std::size_t block = m_in.nBlockAlign;
        const int count = static_cast<int>(size / block);
        const std::uint8_t *data = sample->data();
        if (m_passThrough) {
            m_pending.insert(m_pending.end(), data, data + static_cast<std::size_t>(count) * block);
        } else if (m_in.wBitsPerSample == 24 && effectiveTag(m_in) == TagPcm) {
            // Packed 24 bits to 32 bits (low byte zero).
            const std::size_t values = static_cast<std::size_t>(count) * m_in.nChannels;
            m_scratch.assign(values * 4, 0);
            for (std::size_t i = 0; i < values; ++i)
                std::memcpy(m_scratch.data() + i * 4 + 1, data + i * 3, 3);
            std::vector<std::uint8_t> widened;
            widened.swap(m_scratch);
            const std::uint8_t *in[1] = {widened.data()};
            ok = count == 0 || convert(in, count);
        } else {
            const std::uint8_t *in[1] = {data};
            ok = count == 0 || convert(in, count);
        }
    }
    if (!ok) {
        reportError(name() + ": the sound cannot be converted");
        return Flow::Error;
    }
    return deliverPending(false);
}

Flow AudioConverterFilter::deliverPending(bool all)
{
    Allocator *allocator = output().allocator();
    if (!allocator)
        return Flow::Error;
    const std::size_t block = m_out.nBlockAlign;
    std::size_t offset = 0;
    Flow result = Flow::Ok;
    while (result == Flow::Ok && m_pending.size() - offset >= block) {
        SamplePtr out;
        result = allocator->getBuffer(out);
        if (result != Flow::Ok)
            break;
        std::size_t bytes = std::min(m_pending.size() - offset, out->capacity());
        bytes -= bytes % block;
        if (bytes == 0) {
            result = Flow::Error;
            break;
        }
        std::memcpy(out->data(), m_pending.data() + offset, bytes);
        out->setActualLength(bytes);
        const auto samples = static_cast<std::int64_t>(bytes / block);
        const std::int64_t rate = m_out.nSamplesPerSec;
        const std::int64_t base = m_timeBase.value_or(0);
        out->time = TimeRange{base + m_outSamples * 10000000 / rate,
                              base + (m_outSamples + samples) * 10000000 / rate};
        out->syncPoint = true;
        out->discontinuity = std::exchange(m_discontinuity, false);
        if (!m_announced) {
            out->typeChange = m_outType;
            m_announced = true;
        }
        m_outSamples += samples;
        offset += bytes;
        result = output().deliver(out);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(offset));
    if (all)
        m_pending.clear(); // a partial block at the end cannot be played
    return result;
}

Flow AudioConverterFilter::endOfStream(InputPin &pin)
{
    if (isStreaming() && isFlowing()) {
        // What the decoder and the resampler still hold belongs to the stream.
        const bool ok = (!m_decoder || decode(nullptr, 0)) && convert(nullptr, 0);
        if (!ok) {
            reportError(name() + ": the sound cannot be converted");
            return Flow::Error;
        }
        const Flow delivered = deliverPending(true);
        if (delivered != Flow::Ok)
            return delivered;
    }
    return TransformFilter::endOfStream(pin);
}

} // namespace vidora::media
