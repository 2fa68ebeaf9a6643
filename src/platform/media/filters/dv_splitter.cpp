#include "platform/media/filters/dv_splitter.h"

#include "platform/media/filters/dv_info.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace vidora::media {

namespace {

// PCM samples are written as native 16-bit values into the output buffers.
static_assert(std::endian::native == std::endian::little, "PCM output is little-endian");

constexpr std::size_t QueueCapacity = 4;
constexpr std::size_t AudioBuffers = 4;

// A DVINFO or AAUX payload that carries nothing: blank (all zero) or filler.
bool blankPayload(std::uint32_t payload)
{
    return payload == 0 || payload == 0xffffffffu;
}

// 50/60 bit (PC3 bit 5) of an AAUX or VAUX source pack payload.
bool is625Payload(std::uint32_t payload)
{
    return ((payload >> 16) & 0x20) != 0;
}

} // namespace

DvSplitterFilter::DvSplitterFilter() : SplitterFilter("DV Splitter"), m_input(*this, "Input") {}

DvSplitterFilter::~DvSplitterFilter()
{
    // The threads read the queues and the audio state.
    BeginStop();
    JoinStreaming();
}

std::vector<Pin *> DvSplitterFilter::pins()
{
    std::vector<Pin *> list{&m_input};
    for (std::size_t i = 0; i < outputCount(); ++i)
        list.push_back(&outputAt(i));
    return list;
}

MediaType DvSplitterFilter::audioType(int sampleRate)
{
    WaveFormatEx wave;
    wave.nChannels = 2;
    wave.nSamplesPerSec = static_cast<std::uint32_t>(sampleRate);
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = 4;
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * 4;
    auto type = MediaType::audio(wave);
    type.fixedSizeSamples = true;
    type.sampleSize = 4;
    return type;
}

std::int64_t DvSplitterFilter::FrameDuration()
{
    return m_system->frameDuration;
}

std::vector<MediaType> DvSplitterFilter::proposeTypes(const Pin &pin)
{
    if (&pin == &m_input)
        return {};
    return SplitterFilter::proposeTypes(pin);
}

bool DvSplitterFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin != &m_input)
        return SplitterFilter::checkPinType(pin, type);
    if (type.subtype() != subtype::Dvsd)
        return false;
    if (type.major() == MajorType::Interleaved)
        return type.formatType() == FormatType::DvInfo && type.dvInfo().has_value();
    if (type.major() == MajorType::Video)
        return type.formatType() == FormatType::VideoInfo && type.videoInfo().has_value();
    return false;
}

void DvSplitterFilter::pinConnected(Pin &pin)
{
    if (&pin != &m_input)
        return;
    const MediaType &in = m_input.connectionType();
    bool is625 = true;
    std::uint32_t audioSource = 0;
    if (auto info = in.dvInfo()) {
        if (!blankPayload(info->dwDVVAuxSrc))
            is625 = is625Payload(info->dwDVVAuxSrc);
        else if (!blankPayload(info->dwDVAAuxSrc))
            is625 = is625Payload(info->dwDVAAuxSrc);
        audioSource = info->dwDVAAuxSrc;
    } else if (auto video = in.videoInfo()) {
        const auto &bmi = video->bmiHeader;
        is625 = !(bmi.biSizeImage == kDv525.frameBytes ||
                  std::abs(std::int64_t{bmi.biHeight}) == kDv525.height);
    }
    m_system = &DvSystemByLines(!is625);

    // The audio of the stream as DVINFO announces it; without an announcement
    // one 48 kHz pair, corrected by a type change when the frames say otherwise.
    // An AAUX source word of filler bytes is a stream whose frames carry no
    // sound (the AVI splitter reads it from the first frame): no audio output.
    int rate = 48000;
    int pairs = in.major() == MajorType::Interleaved && audioSource == dv::kNoPack ? 0 : 1;
    if (!blankPayload(audioSource)) {
        const int smp = static_cast<int>((audioSource >> 27) & 0x07);
        const int qu = static_cast<int>((audioSource >> 24) & 0x07);
        if (smp <= 2)
            rate = dv::rateHz(static_cast<dv::AudioRate>(smp));
        if (qu == static_cast<int>(dv::Quantization::NonLinear12) && rate == 32000)
            pairs = 2;
    }

    if (in.major() == MajorType::Video) {
        m_videoType = in;
    } else {
        VideoInfoHeader video;
        video.AvgTimePerFrame = m_system->frameDuration;
        video.bmiHeader.biWidth = m_system->width;
        video.bmiHeader.biHeight = m_system->height;
        video.bmiHeader.biBitCount = 24;
        video.bmiHeader.biCompression = subtype::Dvsd;
        video.bmiHeader.biSizeImage = static_cast<std::uint32_t>(m_system->frameBytes);
        m_videoType = MediaType::video(subtype::Dvsd, video);
    }

    removeOutputs();
    m_queues.clear();
    m_audio.clear();
    addOutput("DVVidOut0");
    for (int p = 0; p < pairs; ++p) {
        addOutput("AudOut0" + std::to_string(p));
        AudioStream audio;
        audio.type = audioType(rate);
        audio.rate = rate;
        m_audio.push_back(audio);
    }
    for (std::size_t i = 0; i < outputCount(); ++i)
        m_queues.push_back(std::make_unique<SampleQueue>(QueueCapacity));
}

void DvSplitterFilter::pinDisconnected(Pin &pin)
{
    // The outputs stay (the graph may be walking this filter's pins) but lose
    // their connections; the next input connection makes them anew.
    if (&pin != &m_input)
        return;
    for (std::size_t i = 0; i < outputCount(); ++i)
        disconnectPins(outputAt(i));
}

std::vector<MediaType> DvSplitterFilter::OutputTypes(std::size_t stream)
{
    if (stream == 0)
        return {m_videoType};
    if (stream - 1 < m_audio.size())
        return {m_audio[stream - 1].type};
    return {};
}

bool DvSplitterFilter::DecideBufferSize(std::size_t stream, Allocator &allocator)
{
    // The video output hands on the frames it receives: no pool.
    if (stream == 0)
        return true;
    const std::size_t bytes =
        static_cast<std::size_t>(dv::capacity(kDv625, dv::Quantization::Linear16)) * 4;
    const auto granted = allocator.setProperties({AudioBuffers, bytes, 16});
    return granted && granted->size >= bytes;
}

void DvSplitterFilter::BeginFlush()
{
    for (auto &queue : m_queues)
        queue->beginFlush();
}

void DvSplitterFilter::EndFlush()
{
    for (auto &queue : m_queues)
        queue->endFlush();
    for (auto &audio : m_audio) {
        audio.rate = dv::rateHz(dv::AudioRate::Hz48000);
        if (auto wave = audio.type.waveFormat())
            audio.rate = static_cast<int>(wave->nSamplesPerSec);
        audio.frames = 0;
        audio.lastGood = {};
    }
}

Flow DvSplitterFilter::receive(InputPin &, const SamplePtr &sample)
{
    if (!isFlowing())
        return Flow::Flushing;
    std::size_t branches = 0;
    for (std::size_t i = 0; i < outputCount(); ++i)
        branches += outputAt(i).isConnected() ? 1 : 0;
    // A change of the interleaved type means nothing on the outputs.
    sample->typeChange.reset();
    for (std::size_t i = 0; i < outputCount(); ++i) {
        if (!outputAt(i).isConnected())
            continue;
        // The outputs read the frame at once on their own threads: each has a
        // read-only view of it, whose properties (a note) are its own.
        const Flow pushed =
            m_queues[i]->push(branches > 1 ? MediaSample::sharedView(sample) : sample);
        if (pushed != Flow::Ok)
            return pushed;
    }
    return Flow::Ok;
}

Flow DvSplitterFilter::endOfStream(InputPin &)
{
    for (std::size_t i = 0; i < outputCount(); ++i)
        if (outputAt(i).isConnected())
            m_queues[i]->pushEndOfStream();
    return Flow::Ok;
}

Flow DvSplitterFilter::GetNextSample(std::size_t stream, SamplePtr &sample)
{
    if (stream == 0)
        return m_queues[0]->pop(sample);
    return nextAudio(stream - 1, m_audio[stream - 1], sample);
}

Flow DvSplitterFilter::nextAudio(std::size_t pair, AudioStream &audio, SamplePtr &sample)
{
    auto &queue = *m_queues[pair + 1];
    for (;;) {
        SamplePtr frame;
        const Flow popped = queue.pop(frame);
        if (popped != Flow::Ok)
            return popped;
        // No DV frame: nothing to read the audio from.
        if (!DvSystemByFrameBytes(frame->actualLength()))
            continue;
        const Flow got = streamAllocator(pair + 1)->getBuffer(sample);
        if (got != Flow::Ok)
            return got;
        sample->copyPropertiesFrom(*frame);
        sample->typeChange.reset();
        sample->setActualLength(0);
        fillAudio(*frame, pair, audio, *sample);
        return Flow::Ok;
    }
}

void DvSplitterFilter::fillAudio(const MediaSample &in, std::size_t pair, AudioStream &audio,
                                 MediaSample &out)
{
    const dv::System &sys = *DvSystemByFrameBytes(in.actualLength());
    const std::span<const std::uint8_t> frame(in.data(), in.actualLength());
    const auto first = dv::readSourcePack(frame, sys, 0);
    // In 12-bit mode the second pair has its own pack in the second half.
    std::optional<dv::SourcePack> pack = first;
    int half = 0;
    if (pair == 1) {
        half = 1;
        pack = first && first->quant == dv::Quantization::NonLinear12
                   ? dv::readSourcePack(frame, sys, 1)
                   : std::nullopt;
    }

    const std::int64_t frameIndex = in.mediaTime ? in.mediaTime->start : audio.frames;
    ++audio.frames;
    int rate = audio.rate;
    int samples = 0;
    if (pack) {
        rate = dv::rateHz(pack->rate);
        samples = std::min(pack->samples, dv::capacity(sys, pack->quant));
    } else if (auto r = dv::rateFromHz(audio.rate)) {
        samples = dv::standardSamples(sys, *r, frameIndex); // silence
    }
    if (rate != audio.rate) {
        audio.rate = rate;
        out.typeChange = audioType(rate);
    }

    const auto values = reinterpret_cast<std::int16_t *>(out.data());
    const std::span<std::int16_t> pcm(values, static_cast<std::size_t>(samples) * 2);
    if (pack) {
        dv::readSamples(frame, sys, pack->quant, half, samples, pcm);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            auto &last = audio.lastGood[i % 2];
            if (pcm[i] == static_cast<std::int16_t>(dv::kError16))
                pcm[i] = last;
            else
                last = pcm[i];
        }
    } else {
        std::fill(pcm.begin(), pcm.end(), std::int16_t{0});
    }
    out.setActualLength(pcm.size() * sizeof(std::int16_t));
}

FilterFactory dvSplitterFactory()
{
    return {"DV Splitter", merit::Normal, [] { return std::make_shared<DvSplitterFilter>(); }};
}

} // namespace vidora::media
