#include "platform/media/filters/audio_renderer.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vidora::media {

namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

constexpr std::int32_t Silence = -10000;
// Queued audio: enough to ride out a busy machine, little enough that Pause
// and a seek answer at once.
constexpr int RingMilliseconds = 500;
// How often the device thread feeds the device and reads its time.
constexpr int PollMilliseconds = 10;

bool automaticIsNull()
{
    return qEnvironmentVariable("VIDORA_AUDIO_OUTPUT").compare("null", Qt::CaseInsensitive) == 0 ||
           QMediaDevices::audioOutputs().isEmpty();
}

bool acceptedFormat(const WaveFormatEx &w)
{
    return w.wFormatTag == 1 && w.wBitsPerSample == 16 && w.nChannels >= 1 && w.nChannels <= 8 &&
           w.nBlockAlign == w.nChannels * 2 && w.nSamplesPerSec >= 1000 &&
           w.nSamplesPerSec <= 384000;
}

} // namespace

double volumeToGain(std::int32_t volume)
{
    if (volume <= Silence)
        return 0.0;
    if (volume >= 0)
        return 1.0;
    return std::pow(10.0, volume / 2000.0);
}

// --- AudioRing ---

bool AudioRing::write(const std::uint8_t *data, std::size_t size)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_aborted || !m_playing || m_bytes.size() < m_capacity; });
    if (m_aborted)
        return false;
    m_bytes.insert(m_bytes.end(), data, data + size);
    m_deviceIdle = false;
    return true;
}

std::size_t AudioRing::read(std::uint8_t *to, std::size_t max)
{
    std::size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        count = std::min(max, m_bytes.size());
        std::copy_n(m_bytes.begin(), count, to);
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(count));
    }
    if (count)
        m_changed.notify_all();
    return count;
}

std::size_t AudioRing::size() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes.size();
}

void AudioRing::setCapacity(std::size_t capacity)
{
    {
        std::lock_guard lock(m_mutex);
        m_capacity = capacity;
    }
    m_changed.notify_all();
}

void AudioRing::setPlaying(bool playing)
{
    {
        std::lock_guard lock(m_mutex);
        m_playing = playing;
    }
    m_changed.notify_all();
}

void AudioRing::abort()
{
    {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
        m_bytes.clear();
    }
    m_changed.notify_all();
}

void AudioRing::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_bytes.clear();
    }
    m_changed.notify_all();
}

void AudioRing::reset()
{
    std::lock_guard lock(m_mutex);
    m_aborted = false;
    m_bytes.clear();
    m_deviceIdle = true;
}

void AudioRing::setDeviceIdle(bool idle)
{
    {
        std::lock_guard lock(m_mutex);
        m_deviceIdle = idle;
    }
    m_changed.notify_all();
}

bool AudioRing::waitDrained(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] {
        return m_aborted || !m_playing || (m_bytes.empty() && m_deviceIdle);
    });
    return !m_aborted && m_playing && m_bytes.empty() && m_deviceIdle;
}

// --- AudioDeviceClock ---

std::int64_t AudioDeviceClock::currentLocked() const
{
    if (m_mode != Mode::FreeRunning)
        return m_time;
    return m_time +
           std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now() - m_since).count();
}

std::int64_t AudioDeviceClock::now() const
{
    std::lock_guard lock(m_mutex);
    return currentLocked();
}

void AudioDeviceClock::follow(std::int64_t played)
{
    bool moved = false;
    {
        std::lock_guard lock(m_mutex);
        const std::int64_t current = currentLocked();
        if (m_mode != Mode::Following) {
            m_offset = current - played;
            m_mode = Mode::Following;
        }
        // A device may report a little less than before; time never goes back.
        const std::int64_t time = std::max(current, played + m_offset);
        moved = time != m_time;
        m_time = time;
    }
    if (moved)
        positionChanged();
}

void AudioDeviceClock::freeRun()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_mode == Mode::FreeRunning)
            return;
        m_time = currentLocked();
        m_since = std::chrono::steady_clock::now();
        m_mode = Mode::FreeRunning;
    }
    // Waiters computed their deadlines from a standing clock.
    positionChanged();
}

void AudioDeviceClock::hold()
{
    std::lock_guard lock(m_mutex);
    m_time = currentLocked();
    m_mode = Mode::Held;
}

// --- The device thread ---

// Owns the QAudioSink (push mode) and an event loop; every few milliseconds
// it moves bytes from the ring to the device, applies the volume, follows
// the pause state and updates the clock. Nothing else touches the sink.
class AudioRendererFilter::DeviceThread final : public QThread
{
public:
    DeviceThread(AudioRendererFilter &owner, const WaveFormatEx &format)
        : m_owner(owner), m_format(format)
    {}

    ~DeviceThread() override
    {
        quit();
        wait();
    }

protected:
    void run() override
    {
        QAudioFormat format;
        format.setSampleRate(static_cast<int>(m_format.nSamplesPerSec));
        format.setChannelCount(m_format.nChannels);
        format.setSampleFormat(QAudioFormat::Int16);
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || !device.isFormatSupported(format)) {
            fail("the sound device does not play this format");
            return;
        }
        QAudioSink sink(device, format);
        sink.setBufferSize(format.bytesForDuration(100'000));
        QIODevice *io = sink.start();
        if (!io || sink.error() != QAudio::NoError) {
            fail("the sound device cannot be opened");
            return;
        }
        m_owner.m_clock->hold();
        QTimer timer;
        timer.setInterval(PollMilliseconds);
        QObject::connect(&timer, &QTimer::timeout, [&] { poll(sink, *io); });
        timer.start();
        exec();
        timer.stop();
        sink.stop();
        m_owner.m_clock->hold();
    }

private:
    void fail(const std::string &why)
    {
        m_owner.m_ring.abort();
        m_owner.reportError(m_owner.name() + ": " + why);
    }

    void poll(QAudioSink &sink, QIODevice &io)
    {
        const bool running = m_owner.m_running.load();
        if (!running) {
            if (sink.state() != QAudio::SuspendedState && sink.state() != QAudio::StoppedState)
                sink.suspend();
            m_owner.m_clock->hold();
            return;
        }
        if (sink.state() == QAudio::SuspendedState)
            sink.resume();
        const double gain = volumeToGain(m_owner.m_volume.load());
        if (gain != m_gain) {
            sink.setVolume(gain);
            m_gain = gain;
        }
        const std::size_t block = m_format.nBlockAlign;
        std::size_t room = static_cast<std::size_t>(std::max<qsizetype>(sink.bytesFree(), 0));
        room -= room % block;
        if (room > 0) {
            m_buffer.resize(room);
            std::size_t got = m_owner.m_ring.read(m_buffer.data(), room);
            if (got % block) // a partial frame waits for its rest
                got += m_owner.m_ring.read(m_buffer.data() + got, block - got % block);
            if (got > 0)
                io.write(reinterpret_cast<const char *>(m_buffer.data()), static_cast<qint64>(got));
        }
        const bool idle = m_owner.m_ring.size() == 0 && sink.state() == QAudio::IdleState;
        if (idle)
            m_owner.m_clock->freeRun();
        else
            m_owner.m_clock->follow(sink.processedUSecs() * 10);
        m_owner.m_ring.setDeviceIdle(idle);
    }

    AudioRendererFilter &m_owner;
    const WaveFormatEx m_format;
    double m_gain = -1; // device thread only
    std::vector<std::uint8_t> m_buffer;
};

// --- AudioRendererFilter ---

AudioRendererFilter::AudioRendererFilter(Output output)
    : RendererFilter("Audio Renderer", "Audio Input"),
      m_useDevice(output == Output::Automatic && !automaticIsNull())
{
    if (m_useDevice)
        m_clock = std::make_shared<AudioDeviceClock>();
}

AudioRendererFilter::~AudioRendererFilter()
{
    m_ring.abort();
    stopDevice();
}

bool AudioRendererFilter::put_Volume(std::int32_t volume)
{
    if (volume < Silence || volume > 0)
        return false;
    m_volume = volume;
    return true;
}

std::shared_ptr<ReferenceClock> AudioRendererFilter::referenceClock()
{
    return m_clock;
}

bool AudioRendererFilter::CheckInputType(const MediaType &type)
{
    if (type.major() != MajorType::Audio || type.subtype() != subtype::Pcm)
        return false;
    const auto w = type.waveFormat();
    return w && acceptedFormat(*w);
}

bool AudioRendererFilter::StartStreaming()
{
    const auto w = input().connectionType().waveFormat();
    if (!w || !acceptedFormat(*w))
        return false;
    m_format = *w;
    m_running = false;
    m_ring.reset();
    m_ring.setPlaying(false);
    return !m_useDevice || startDevice(*w);
}

void AudioRendererFilter::StopStreaming()
{
    stopDevice();
    m_ring.reset();
}

bool AudioRendererFilter::startDevice(const WaveFormatEx &format)
{
    const auto bytesPerSecond =
        static_cast<std::size_t>(format.nSamplesPerSec) * format.nBlockAlign;
    m_ring.setCapacity(bytesPerSecond * RingMilliseconds / 1000);
    m_device = std::make_unique<DeviceThread>(*this, format);
    m_device->start();
    return true;
}

void AudioRendererFilter::stopDevice()
{
    m_device.reset(); // quits the event loop and joins
}

Flow AudioRendererFilter::DoRenderSample(const MediaSample &sample)
{
    if (sample.typeChange) {
        const auto w = sample.typeChange->waveFormat();
        if (!CheckInputType(*sample.typeChange) || !w)
            return Flow::Error;
        if (!(*w == m_format)) {
            m_format = *w;
            if (m_useDevice) {
                // What the old format queued is dropped with its device
                // stream (in practice the change comes with the first sample).
                stopDevice();
                m_ring.clear();
                startDevice(*w);
            }
        }
    }
    if (!m_useDevice)
        return Flow::Ok;
    return m_ring.write(sample.data(), sample.actualLength()) ? Flow::Ok : Flow::Flushing;
}

bool AudioRendererFilter::Pause()
{
    m_running = false;
    m_ring.setPlaying(false);
    return RendererFilter::Pause();
}

void AudioRendererFilter::Run(std::int64_t streamStart)
{
    m_running = true;
    m_ring.setPlaying(true);
    RendererFilter::Run(streamStart);
}

void AudioRendererFilter::BeginStop()
{
    m_running = false;
    m_ring.setPlaying(false);
    m_ring.abort();
    RendererFilter::BeginStop();
}

Flow AudioRendererFilter::endOfStream(InputPin &pin)
{
    // Complete means heard: wait (while running) until the device has
    // played what is queued. Pause, stop and flush end the wait early.
    if (m_useDevice && m_running.load()) {
        const auto queued = std::chrono::milliseconds(RingMilliseconds);
        m_ring.waitDrained(queued + std::chrono::seconds(1));
    }
    return RendererFilter::endOfStream(pin);
}

void AudioRendererFilter::beginFlush(InputPin &pin)
{
    m_ring.abort();
    RendererFilter::beginFlush(pin);
}

void AudioRendererFilter::endFlush(InputPin &pin)
{
    m_ring.reset();
    RendererFilter::endFlush(pin);
}

} // namespace vidora::media
