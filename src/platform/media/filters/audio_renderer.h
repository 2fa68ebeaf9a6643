#pragma once

// The audio renderer: 16-bit PCM in, played on the default sound output.
//
// With a sound device, samples go into a ring buffer that a thread of the
// filter's own (QAudioSink needs an event loop) feeds to the device; the
// ring's size, not the graph clock, paces the stream, and the device's played
// time is the clock the graph should use (referenceClock(); the graph's
// SetDefaultSyncSource picks it). End of stream is passed on once the device
// has played what was queued.
//
// Without a device (none present, the Null output asked for, or
// VIDORA_AUDIO_OUTPUT=null in the environment) a null device takes the
// samples at the pace of the graph's clock, like any renderer, and offers no
// clock: the graph then runs on the system clock, or as fast as it can with
// none.
//
// Stop and flush unblock a streaming thread that waits for room in the ring
// or for the device to play out; the device thread is joined in Stop.
#include "platform/media/clock.h"
#include "platform/media/interfaces.h"
#include "platform/media/renderer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace vidora::media {

// The linear amplitude factor of a volume in hundredths of a decibel:
// 10^(volume / 2000); 0 for -10000 (silence) and below, 1 above 0.
double volumeToGain(std::int32_t volume);

// The bytes between the streaming thread and the device thread. Writes wait
// for room only while the ring plays: while paused a write appends at once
// (past the capacity by at most one sample), so a streaming thread never
// waits for a device that is not playing.
class AudioRing
{
public:
    explicit AudioRing(std::size_t capacity = 0) : m_capacity(capacity) {}

    // Streaming thread. False when aborted (nothing appended).
    bool write(const std::uint8_t *data, std::size_t size);
    // Device thread: up to `max` bytes, oldest first; the count taken.
    std::size_t read(std::uint8_t *to, std::size_t max);
    std::size_t size() const;

    // Control thread.
    void setCapacity(std::size_t capacity);
    void setPlaying(bool playing);
    void clear(); // drops what is queued
    // Drops what is queued and makes writes and waits return false until
    // reset().
    void abort();
    void reset();

    // Device thread: whether the device has played everything it was given.
    void setDeviceIdle(bool idle);
    // Streaming thread: waits until the ring is empty and the device idle;
    // false when aborted, when the ring stops playing or at the time-out.
    bool waitDrained(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    // guarded by m_mutex
    std::deque<std::uint8_t> m_bytes;
    std::size_t m_capacity;
    bool m_playing = false;
    bool m_aborted = false;
    bool m_deviceIdle = true;
};

// The clock of a sound device: follows the device's played time while the
// device plays, goes on with real time while it has nothing to play (starved,
// or its stream has ended) and stands still while held (paused, stopped).
// When it starts following again, the device's time is taken from where the
// clock stands, so time never goes back. Updated by the device thread;
// read from any thread.
class AudioDeviceClock final : public DeviceClock
{
public:
    std::int64_t now() const override;
    // `played`: 100 ns units played since the device stream started.
    void follow(std::int64_t played);
    void freeRun();
    void hold();

private:
    enum class Mode {
        Held,
        Following,
        FreeRunning
    };
    std::int64_t currentLocked() const;

    mutable std::mutex m_mutex;
    // guarded by m_mutex
    Mode m_mode = Mode::Held;
    std::int64_t m_time = 0; // the time when held or followed; the start of a free run
    std::chrono::steady_clock::time_point m_since;
    std::int64_t m_offset = 0; // clock time minus device time while following
};

class AudioRendererFilter final : public RendererFilter,
                                  public IBasicAudio,
                                  public IReferenceClockProvider
{
public:
    enum class Output {
        Automatic, // the default device when there is one, else null
        Null,
    };
    explicit AudioRendererFilter(Output output = Output::Automatic);
    ~AudioRendererFilter() override;

    bool usesDevice() const { return m_useDevice; }

    bool put_Volume(std::int32_t volume) override;
    std::int32_t get_Volume() const override { return m_volume.load(); }
    std::shared_ptr<ReferenceClock> referenceClock() override;

    bool CheckInputType(const MediaType &type) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow DoRenderSample(const MediaSample &sample) override;
    bool UsesClock() const override { return !m_useDevice; }

    bool Pause() override;
    void Run(std::int64_t streamStart) override;
    void BeginStop() override;
    Flow endOfStream(InputPin &pin) override;
    void beginFlush(InputPin &pin) override;
    void endFlush(InputPin &pin) override;

private:
    class DeviceThread;

    bool startDevice(const WaveFormatEx &format);
    void stopDevice();

    bool m_useDevice = false;
    std::atomic<std::int32_t> m_volume{0};
    std::atomic<bool> m_running{false}; // the graph runs: the device plays
    std::shared_ptr<AudioDeviceClock> m_clock;
    AudioRing m_ring;
    // Made in StartStreaming, remade on the streaming thread when the format
    // changes in-band, joined in StopStreaming; never touched by two threads
    // at once.
    std::unique_ptr<DeviceThread> m_device;
    WaveFormatEx m_format; // same
};

} // namespace vidora::media
