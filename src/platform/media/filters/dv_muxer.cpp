#include "platform/media/filters/dv_muxer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vidora::media {

namespace {

// One more than downstream queues take: a frame waits here for the next.
constexpr std::size_t OutputBuffers = 5;
// Audio held per input before its thread waits: two seconds at 48 kHz.
constexpr std::size_t MaxPendingValues = 2 * 48000 * 2;
constexpr std::size_t MaxAudioPairs = 2;

// VAUX source (0x60) and source control (0x61) payloads for DVINFO: no
// channel or source information, colour, SD 25 Mbit/s, 4:3.
std::uint32_t vauxSourcePayload(const dv::System &sys)
{
    const std::uint32_t pc3 = 0xc0 | (sys.is525 ? 0x00 : 0x20);
    return 0xff000000u | pc3 << 16 | 0x0000ffffu;
}
constexpr std::uint32_t kVauxControlPayload = 0xfffcc8ffu;

// 16-bit PCM, mono or stereo, at a DV rate.
bool dvCarries(const MediaType &type)
{
    if (type.major() != MajorType::Audio || type.subtype() != subtype::Pcm)
        return false;
    const auto wave = type.waveFormat();
    return wave && wave->wFormatTag == 1 && wave->wBitsPerSample == 16 &&
           (wave->nChannels == 1 || wave->nChannels == 2) &&
           dv::rateFromHz(static_cast<int>(wave->nSamplesPerSec));
}

// "22050 Hz, 16-bit, 2 channels" for messages.
std::string audioFormatText(const MediaType &type)
{
    const auto wave = type.waveFormat();
    if (type.major() != MajorType::Audio || !wave)
        return type.describe();
    std::string text = std::to_string(wave->nSamplesPerSec) + " Hz, " +
                       std::to_string(wave->wBitsPerSample) + "-bit, " +
                       std::to_string(wave->nChannels) +
                       (wave->nChannels == 1 ? " channel" : " channels");
    if (wave->wFormatTag != 1)
        text += ", format tag " + std::to_string(wave->wFormatTag);
    return text;
}

MediaType interleavedType(const dv::System &sys, dv::AudioRate rate, dv::Quantization quant,
                          std::size_t pairs)
{
    const int channels = pairs == 2 ? 4 : 2;
    const int samples = dv::standardSamples(sys, rate, 0);
    const auto control = dv::sourceControlPack(sys);
    DvInfo info;
    info.dwDVAAuxSrc = dv::packPayload(dv::sourcePack(sys, rate, quant, samples, 0, channels));
    info.dwDVAAuxCtl = dv::packPayload(control);
    info.dwDVAAuxSrc1 = dv::packPayload(dv::sourcePack(sys, rate, quant, samples, 1, channels));
    info.dwDVAAuxCtl1 = dv::packPayload(control);
    info.dwDVVAuxSrc = vauxSourcePayload(sys);
    info.dwDVVAuxCtl = kVauxControlPayload;
    auto type = MediaType::interleaved(subtype::Dvsd, info);
    type.fixedSizeSamples = true;
    type.sampleSize = static_cast<std::uint32_t>(sys.frameBytes);
    return type;
}

} // namespace

DvMuxerFilter::DvMuxerFilter()
    : Filter("DV Muxer"), m_video(*this, "Video Input"), m_output(*this, "Output")
{}

DvMuxerFilter::~DvMuxerFilter() = default;

std::vector<Pin *> DvMuxerFilter::pins()
{
    std::vector<Pin *> list{&m_video};
    for (auto &audio : m_audio)
        list.push_back(audio.pin.get());
    list.push_back(&m_output);
    return list;
}

DvMuxerFilter::AudioInput *DvMuxerFilter::audioFor(const Pin &pin)
{
    for (auto &audio : m_audio)
        if (audio.pin.get() == &pin)
            return &audio;
    return nullptr;
}

const dv::System *DvMuxerFilter::videoSystem() const
{
    if (!m_video.isConnected())
        return nullptr;
    const auto info = m_video.connectionType().videoInfo();
    if (!info)
        return nullptr;
    if (const auto *sys = DvSystemByFrameBytes(info->bmiHeader.biSizeImage))
        return sys;
    return DvSystemByHeight(std::abs(info->bmiHeader.biHeight));
}

DvMuxerFilter::Layout DvMuxerFilter::layout() const
{
    Layout result;
    for (std::size_t i = 0; i < m_audio.size() && result.inputs.size() < MaxAudioPairs; ++i)
        if (m_audio[i].pin->isConnected())
            result.inputs.push_back(i);
    if (!result.inputs.empty())
        result.rate = *dv::rateFromHz(m_audio[result.inputs.front()].rate);
    if (result.inputs.size() == 2)
        result.quant = dv::Quantization::NonLinear12;
    return result;
}

std::optional<MediaType> DvMuxerFilter::outputType() const
{
    const dv::System *sys = videoSystem();
    if (!sys)
        return std::nullopt;
    const Layout l = layout();
    return interleavedType(*sys, l.rate, l.quant, l.inputs.size());
}

bool DvMuxerFilter::acceptsAudio(const Pin &pin, const MediaType &type) const
{
    if (!dvCarries(type))
        return false;
    const auto wave = type.waveFormat();
    // The pairs already connected on other inputs.
    std::vector<int> others;
    for (const auto &audio : m_audio)
        if (audio.pin.get() != &pin && audio.pin->isConnected())
            others.push_back(audio.rate);
    if (others.empty())
        return true;
    // Two pairs fit only as 12-bit audio, which DV defines at 32 kHz.
    return others.size() == 1 && others.front() == 32000 && wave->nSamplesPerSec == 32000;
}

std::vector<MediaType> DvMuxerFilter::proposeTypes(const Pin &pin)
{
    if (&pin == &m_output)
        if (auto type = outputType())
            return {*type};
    return {};
}

bool DvMuxerFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin == &m_video) {
        if (type.major() != MajorType::Video || type.subtype() != subtype::Dvsd)
            return false;
        const auto info = type.videoInfo();
        return info && (DvSystemByFrameBytes(info->bmiHeader.biSizeImage) ||
                        DvSystemByHeight(std::abs(info->bmiHeader.biHeight)));
    }
    if (&pin == &m_output) {
        const auto own = outputType();
        return own && type == *own;
    }
    return audioFor(pin) && acceptsAudio(pin, type);
}

bool DvMuxerFilter::completeConnect(Pin &pin)
{
    if (auto *audio = audioFor(pin)) {
        const auto wave = pin.connectionType().waveFormat();
        audio->channels = wave->nChannels;
        audio->rate = static_cast<int>(wave->nSamplesPerSec);
        return true;
    }
    if (&pin != &m_output)
        return true;
    const dv::System *sys = videoSystem();
    if (!sys)
        return false;
    auto allocator = std::make_unique<Allocator>();
    const auto granted = allocator->setProperties({OutputBuffers, kDv625.frameBytes, 16});
    if (!granted || granted->size < kDv625.frameBytes)
        return false;
    m_output.setAllocator(std::move(allocator));
    return true;
}

void DvMuxerFilter::pinConnected(Pin &pin)
{
    if (pin.direction() != PinDirection::Input)
        return;
    for (const auto &audio : m_audio)
        if (!audio.pin->isConnected())
            return;
    AudioInput audio;
    audio.pin =
        std::make_unique<InputPin>(*this, "Audio Input " + std::to_string(m_audio.size() + 1));
    m_audio.push_back(std::move(audio));
}

bool DvMuxerFilter::Pause()
{
    const bool starting = state() == FilterState::Stopped;
    if (!Filter::Pause())
        return false;
    if (starting) {
        m_frameIndex = 0;
        m_runFrames = 0;
        m_held = {};
        m_streamLayout = layout();
        std::lock_guard lock(m_lock);
        m_videoFlushing = false;
        for (auto &audio : m_audio) {
            audio.streamChannels = audio.channels;
            audio.pending.clear();
            audio.changes.clear();
            audio.taken = 0;
            audio.streamRate = audio.rate;
            audio.ended = false;
            audio.flushing = false;
            audio.failed = false;
        }
    }
    return true;
}

void DvMuxerFilter::BeginStop()
{
    {
        std::lock_guard lock(m_lock);
        Filter::BeginStop(); // decommits the output pool: a wait for a buffer wakes
    }
    m_changed.notify_all();
}

void DvMuxerFilter::Stop()
{
    {
        std::lock_guard lock(m_lock);
        for (auto &audio : m_audio)
            audio.pending.clear();
    }
    m_held = {}; // streaming has quiesced
    Filter::Stop();
}

Flow DvMuxerFilter::receive(InputPin &pin, const SamplePtr &sample)
{
    if (!isFlowing())
        return Flow::Flushing;
    if (&pin == &m_video)
        return mux(sample);
    auto *audio = audioFor(pin);
    if (!audio)
        return Flow::Error;
    if (sample->typeChange && !changeAudioType(*audio, *sample->typeChange))
        return Flow::Error;
    // 16-bit little-endian PCM, mono doubled to both channels.
    const int channels = audio->streamChannels;
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * 2;
    const std::size_t frames = sample->actualLength() / frameBytes;
    const auto valueAt = [&](std::size_t at) {
        return static_cast<std::int16_t>(sample->data()[at] | sample->data()[at + 1] << 8);
    };
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [&] {
        return audio->pending.size() < MaxPendingValues || audio->flushing || isStopping();
    });
    if (audio->flushing || isStopping())
        return Flow::Flushing;
    if (audio->failed)
        return Flow::Error;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::int16_t left = valueAt(i * frameBytes);
        audio->pending.push_back(left);
        audio->pending.push_back(channels == 2 ? valueAt(i * frameBytes + 2) : left);
    }
    lock.unlock();
    m_changed.notify_all();
    return Flow::Ok;
}

bool DvMuxerFilter::changeAudioType(AudioInput &audio, const MediaType &type)
{
    const auto wave = type.waveFormat();
    const int hz = wave ? static_cast<int>(wave->nSamplesPerSec) : 0;
    // Two pairs are 12-bit audio, which DV defines at 32 kHz only.
    const bool pairs = m_streamLayout.inputs.size() == 2;
    if (!dvCarries(type) || (pairs && hz != 32000)) {
        reportError(name() + ": DV cannot carry the audio format " + audioFormatText(type) +
                    (pairs ? " (two audio pairs need 32000 Hz)" : ""));
        {
            std::lock_guard lock(m_lock);
            audio.failed = true;
        }
        m_changed.notify_all();
        return false;
    }
    audio.streamChannels = wave->nChannels;
    {
        std::lock_guard lock(m_lock);
        const int latest = audio.changes.empty() ? audio.streamRate : audio.changes.back().rate;
        if (hz == latest)
            return true;
        audio.changes.push_back({audio.taken + audio.pending.size(), hz});
    }
    m_changed.notify_all();
    return true;
}

Flow DvMuxerFilter::endOfStream(InputPin &pin)
{
    if (&pin == &m_video) {
        if (m_held.out) {
            const Flow last = deliverHeld(true);
            if (last != Flow::Ok)
                return last;
        }
        return m_output.deliverEndOfStream();
    }
    if (auto *audio = audioFor(pin)) {
        {
            std::lock_guard lock(m_lock);
            audio->ended = true;
        }
        m_changed.notify_all();
    }
    return Flow::Ok;
}

void DvMuxerFilter::beginFlush(InputPin &pin)
{
    {
        std::lock_guard lock(m_lock);
        if (&pin == &m_video) {
            m_videoFlushing = true;
        } else if (auto *audio = audioFor(pin)) {
            audio->flushing = true;
            audio->pending.clear();
            if (!audio->changes.empty())
                audio->streamRate = audio->changes.back().rate;
            audio->changes.clear();
            audio->ended = false;
        }
    }
    m_changed.notify_all();
    if (&pin == &m_video)
        m_output.deliverBeginFlush();
}

void DvMuxerFilter::endFlush(InputPin &pin)
{
    {
        std::lock_guard lock(m_lock);
        if (&pin == &m_video) {
            m_videoFlushing = false;
            m_frameIndex = 0;
            m_held = {}; // the video's upstream thread has stopped
        } else if (auto *audio = audioFor(pin)) {
            audio->flushing = false;
            audio->pending.clear();
            if (!audio->changes.empty())
                audio->streamRate = audio->changes.back().rate;
            audio->changes.clear();
            audio->ended = false;
        }
    }
    if (&pin == &m_video)
        m_output.deliverEndFlush();
}

void DvMuxerFilter::newSegment(InputPin &pin, std::int64_t start, std::int64_t stop)
{
    if (&pin == &m_video)
        m_output.deliverNewSegment(start, stop);
}

Flow DvMuxerFilter::takeAudio(std::size_t index, const dv::System &sys, std::int64_t frameIndex,
                              bool last, dv::AudioRate &rate, std::vector<std::int16_t> &out)
{
    // Values of one half a frame can hold.
    const std::size_t room = static_cast<std::size_t>(dv::capacity(sys, m_streamLayout.quant)) * 2;
    AudioInput &audio = m_audio[index];
    std::size_t wanted = 0;
    std::size_t available = 0;
    std::unique_lock lock(m_lock);
    for (;;) {
        if (m_videoFlushing || isStopping())
            return Flow::Flushing;
        if (audio.failed)
            return Flow::Error;
        while (!audio.changes.empty() && audio.changes.front().at <= audio.taken) {
            audio.streamRate = audio.changes.front().rate;
            audio.changes.pop_front();
        }
        rate = *dv::rateFromHz(audio.streamRate);
        wanted = static_cast<std::size_t>(dv::standardSamples(sys, rate, frameIndex)) * 2;
        // Audio after a rate change belongs to the next frames: a frame
        // holds one rate.
        available = audio.changes.empty()
                        ? audio.pending.size()
                        : static_cast<std::size_t>(audio.changes.front().at - audio.taken);
        // The last frame waits for the end of its audio, or for more than
        // it could carry (the audio runs on past the video).
        const bool enough = last ? available > room : available >= wanted;
        if (enough || !audio.changes.empty() || audio.ended || audio.flushing)
            break;
        m_changed.wait(lock);
    }
    if (last && audio.ended && audio.changes.empty() && available <= room)
        wanted = std::max(wanted, available - available % 2);
    const std::size_t count = std::min(wanted, available);
    out.assign(wanted, 0);
    std::copy_n(audio.pending.begin(), count, out.begin());
    audio.pending.erase(audio.pending.begin(),
                        audio.pending.begin() + static_cast<std::ptrdiff_t>(count));
    audio.taken += count;
    lock.unlock();
    m_changed.notify_all();
    return Flow::Ok;
}

Flow DvMuxerFilter::mux(const SamplePtr &video)
{
    // Anything but a whole DV frame goes on as it came, after the frame
    // before it.
    const dv::System *sys = DvSystemByFrameBytes(video->actualLength());
    if (m_held.out) {
        const Flow held = deliverHeld(false);
        if (held != Flow::Ok)
            return held;
    }
    if (!sys)
        return m_output.deliver(video);
    SamplePtr out;
    const Flow got = m_output.allocator() ? m_output.allocator()->getBuffer(out) : Flow::Flushing;
    if (got != Flow::Ok)
        return got;
    std::memcpy(out->data(), video->data(), sys->frameBytes);
    out->setActualLength(sys->frameBytes);
    out->copyPropertiesFrom(*video);
    out->typeChange.reset();
    m_held = {std::move(out), sys, m_frameIndex++};
    return Flow::Ok;
}

Flow DvMuxerFilter::deliverHeld(bool last)
{
    HeldFrame held = std::exchange(m_held, {});
    const dv::System &sys = *held.sys;
    const Layout &l = m_streamLayout;
    const std::span<std::uint8_t> frame(held.out->data(), sys.frameBytes);
    dv::AudioRate rate = l.rate;
    int samples = dv::standardSamples(sys, rate, held.index);
    std::vector<std::int16_t> pcm;
    if (l.inputs.empty()) {
        pcm.assign(static_cast<std::size_t>(samples) * 2, 0);
        dv::writeSamples(frame, sys, l.quant, 0, samples, pcm);
    }
    // One input: 16-bit stereo in both halves; two: one 12-bit pair each,
    // both halves with the same count (the longer of the two, in the last
    // frame; silence after the shorter).
    std::vector<std::vector<std::int16_t>> halves(l.inputs.size());
    std::size_t values = 0;
    for (std::size_t half = 0; half < l.inputs.size(); ++half) {
        const Flow took = takeAudio(l.inputs[half], sys, held.index, last, rate, halves[half]);
        if (took != Flow::Ok)
            return took;
        values = std::max(values, halves[half].size());
    }
    for (std::size_t half = 0; half < halves.size(); ++half) {
        halves[half].resize(values, 0);
        samples = static_cast<int>(values / 2);
        dv::writeSamples(frame, sys, l.quant, static_cast<int>(half), samples, halves[half]);
    }
    const int channels = l.inputs.size() == 2 ? 4 : 2;
    dv::writeAauxPacks(frame, sys, dv::sourcePack(sys, rate, l.quant, samples, 0, channels),
                       dv::sourcePack(sys, rate, l.quant, samples, 1, channels),
                       dv::sourceControlPack(sys));
    // The stream's first frame tells downstream (a type-1 AVI's DVINFO) the
    // audio it really carries; later changes live in the frames' packs only.
    if (m_runFrames++ == 0) {
        auto type = interleavedType(sys, rate, l.quant, l.inputs.size());
        if (type != m_output.connectionType())
            held.out->typeChange = std::move(type);
    }
    return m_output.deliver(held.out);
}

} // namespace vidora::media
