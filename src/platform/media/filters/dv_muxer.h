#pragma once

// The DV muxer: builds interleaved DV from DV video frames and PCM audio.
//
// Pins: the video input first, the output always last. After each input
// connection a new free audio input is placed before the output, so the
// last-but-one pin is the free audio input once the video is connected.
// Audio inputs take 16-bit PCM, mono or stereo, at 48, 44.1 or 32 kHz; a
// second stereo pair is taken only at 32 kHz on both inputs and is then
// written as 12-bit non-linear four-channel audio. Anything else is refused
// at connection (an audio converter in front converts it). A third audio
// input refuses every type.
//
// Video drives the timing: each video frame is copied, the audio blocks get
// the number of samples the standard gives that frame (525/60 at 48 kHz:
// 1600, 1602, 1602, 1602, 1602) and the AAUX source and source control packs;
// audio that has not come (a shorter or ended stream) is silence. The last
// frame also takes what its audio holds beyond that count when the audio
// ends there and the frame can carry it (a slice of a stream that started
// elsewhere in the cycle ends a sample or two later): each frame is held
// until the next one, or the end of the video, shows which frame is last. A video
// frame whose size is no DV frame size is passed on untouched. The output
// carries Interleaved/dvsd with the DVINFO of the audio connected when the
// output was connected.
//
// An audio sample may carry a type change (an audio converter whose rate was
// set after the graph was built announces it on its first sample). Audio
// after it is written in the new format from the first frame whose audio
// starts there; the frame before ends in silence where the old audio ran
// out. When the first frame of a run already differs from the connection's
// audio, that frame announces the interleaved type with the new DVINFO. A new
// format DV cannot carry (or a second pair not at 32 kHz) ends the run with
// an error that names it.
//
// Threads: video and each audio input arrive on their own upstream threads.
// Audio waits in a bounded buffer per input; the video thread takes from it
// and delivers downstream. Flushes and stops wake both sides.
#include "platform/media/filter.h"
#include "platform/media/filters/dv_audio.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace vidora::media {

class DvMuxerFilter final : public Filter
{
public:
    DvMuxerFilter();
    ~DvMuxerFilter() override;

    std::vector<Pin *> pins() override;
    InputPin &videoInput() { return m_video; }
    OutputPin &output() { return m_output; }

    // The interleaved type the output would carry with the inputs connected
    // now; nothing while the video input is unconnected.
    std::optional<MediaType> outputType() const;

    bool Pause() override;
    void BeginStop() override;
    void Stop() override;

    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    bool completeConnect(Pin &pin) override;
    void pinConnected(Pin &pin) override;
    Flow receive(InputPin &pin, const SamplePtr &sample) override;
    Flow endOfStream(InputPin &pin) override;
    void beginFlush(InputPin &pin) override;
    void endFlush(InputPin &pin) override;
    void newSegment(InputPin &pin, std::int64_t start, std::int64_t stop) override;

private:
    struct AudioInput
    {
        std::unique_ptr<InputPin> pin;
        int channels = 2; // of the connection; control thread
        int rate = 48000;
        int streamChannels = 2; // of the audio arriving now; audio thread while streaming
        // guarded by m_lock; written by the audio thread and the video thread
        std::deque<std::int16_t> pending; // interleaved stereo
        // Rates taking effect once `taken` reaches `at` (values).
        struct RateChange
        {
            std::uint64_t at;
            int rate;
        };
        std::deque<RateChange> changes;
        std::uint64_t taken = 0; // values taken by the video thread
        int streamRate = 48000;  // of the audio at the front of `pending`
        bool ended = false;
        bool flushing = false;
        bool failed = false; // a type change DV cannot carry
    };

    // The pair layout of the connected audio: rate, quantisation and the
    // inputs in use (one or two), from the connections. Control thread.
    struct Layout
    {
        dv::AudioRate rate = dv::AudioRate::Hz48000;
        dv::Quantization quant = dv::Quantization::Linear16;
        std::vector<std::size_t> inputs;
    };
    Layout layout() const;
    const dv::System *videoSystem() const;
    AudioInput *audioFor(const Pin &pin);
    bool acceptsAudio(const Pin &pin, const MediaType &type) const;

    // A video frame copied into an output buffer, waiting for its audio.
    struct HeldFrame
    {
        SamplePtr out;
        const dv::System *sys = nullptr;
        std::int64_t index = 0;
    };
    Flow mux(const SamplePtr &video);
    // Writes the held frame's audio and delivers it; `last`: no video follows.
    Flow deliverHeld(bool last);
    // Takes the samples of video frame `frameIndex` from input `index`:
    // waits until they came, a rate change follows the audio there, the
    // input ended, or streaming stops (then Flushing). `rate` is the rate of
    // the audio taken, `out` gets its stereo samples (the count the standard
    // gives the frame; for the `last` frame, whatever remains of ended audio
    // up to what the frame can carry); missing samples are silence.
    Flow takeAudio(std::size_t index, const dv::System &sys, std::int64_t frameIndex, bool last,
                   dv::AudioRate &rate, std::vector<std::int16_t> &out);
    // Takes a type change on an audio input (audio thread); false after
    // reporting a format DV cannot carry.
    bool changeAudioType(AudioInput &audio, const MediaType &type);

    InputPin m_video;
    std::vector<AudioInput> m_audio; // pins change while stopped
    OutputPin m_output;

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_videoFlushing = false; // guarded by m_lock
    // Video thread only (reset while nothing streams).
    std::int64_t m_frameIndex = 0;
    std::int64_t m_runFrames = 0; // frames muxed in this run (not reset by a flush)
    HeldFrame m_held;             // the frame before the one arriving; none after a flush
    Layout m_streamLayout;        // set at Pause from Stopped
};

} // namespace vidora::media
