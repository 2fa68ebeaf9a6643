#pragma once

// The DV splitter: separates an interleaved DV stream (DV type 1, or a DV
// video stream of a type 2 file) into its video and its audio.
//
// Pins: the input first; once it is connected, the video output, then one
// audio output per stereo pair the stream carries (two for 12-bit 32 kHz
// four-channel audio, none when DVINFO's AAUX source is kNoPack, else one),
// as the input type's DVINFO says. When the input disconnects the outputs are
// disconnected; the next input connection replaces them.
//
// Video is the whole DIF frame, the very sample that came in (a read-only
// view of it when audio is taken from it as well, MediaSample::sharedView),
// with its times. Audio is
// 16-bit stereo PCM at the frame's own rate, one sample per frame with the
// frame's times; error samples repeat the last good sample of their channel.
// A frame whose size is no DV frame size goes to the video output untouched
// and gives no audio. Each output has a queue and a streaming thread of its
// own, so a paused renderer on one output does not hold up the others.
#include "platform/media/filters/dv_audio.h"
#include "platform/media/registry.h"
#include "platform/media/sample_queue.h"
#include "platform/media/splitter.h"

#include <array>
#include <memory>
#include <vector>

namespace vidora::media {

class DvSplitterFilter final : public SplitterFilter
{
public:
    DvSplitterFilter();
    ~DvSplitterFilter() override;

    std::vector<Pin *> pins() override;
    InputPin *inputPin() override { return &m_input; }

    Flow GetNextSample(std::size_t stream, SamplePtr &sample) override;
    bool Seek(std::int64_t) override { return true; }
    std::int64_t Duration() override { return 0; }
    std::int64_t FrameDuration() override;
    std::vector<MediaType> OutputTypes(std::size_t stream) override;
    bool DecideBufferSize(std::size_t stream, Allocator &allocator) override;
    void BeginFlush() override;
    void EndFlush() override;

    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    void pinConnected(Pin &pin) override;
    void pinDisconnected(Pin &pin) override;
    Flow receive(InputPin &pin, const SamplePtr &sample) override;
    Flow endOfStream(InputPin &pin) override;

    // The audio type the splitter publishes for one stereo pair.
    static MediaType audioType(int sampleRate);

private:
    struct AudioStream
    {
        MediaType type;                         // what the output publishes (control thread)
        int rate = 48000;                       // streaming thread of the output: the current rate
        std::int64_t frames = 0;                // streaming thread of the output: frames handed out
        std::array<std::int16_t, 2> lastGood{}; // streaming thread: concealment
    };

    Flow nextAudio(std::size_t pair, AudioStream &audio, SamplePtr &sample);
    void fillAudio(const MediaSample &in, std::size_t pair, AudioStream &audio, MediaSample &out);

    InputPin m_input;
    const dv::System *m_system = &kDv625;               // from the input type, control thread
    MediaType m_videoType;                              // control thread
    std::vector<AudioStream> m_audio;                   // one per pair, made on connection
    std::vector<std::unique_ptr<SampleQueue>> m_queues; // one per output
};

// For the registry: interleaved DV (and DV video) rendered through Render or
// RenderStream gets a DV splitter.
FilterFactory dvSplitterFactory();

} // namespace vidora::media
