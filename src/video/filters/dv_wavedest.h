#pragma once

// The WAVE writer: turns a PCM (or other WAVEFORMATEX) audio stream into the
// bytes of a RIFF WAVE file. Each sample passes on unchanged, stamped with its
// byte offset in the file as its start and stop time, for the file writer
// downstream that writes each sample at that offset. When the graph stops the
// header, whose sizes are known only then, is written at offset 0 through the
// IStream of the downstream input pin. The file layout is WaveDestCore's.
//
// Pins: the input "in" and the output "Out", listed input then output like
// every transform. The Windows original creates its output pin first; here
// the pins are members of the transform base and exist from construction, so
// the order of creation is not observable and only the listing order counts.
#include "platform/media/transform.h"
#include "video/filters/wavedestcore.h"

namespace vidora {

class Tdv_WaveDest final : public media::TransformFilter
{
public:
    static constexpr const char *kObjectName = "WavDest filter";

    // maxFileBytes: the largest file written, 4 GiB − 1 (what the RIFF sizes
    // can describe) unless a test asks for less.
    explicit Tdv_WaveDest(std::uint64_t maxFileBytes = WaveDestCore::kMaxFileBytes);

    // Audio bytes delivered in this run and the header size (format block + 28).
    std::uint32_t DataBytes() const { return m_core.dataBytes(); }
    std::uint32_t HeaderSize() const { return m_core.headerSize(); }

    // A WAVEFORMATEX connection whose block is at least a PCM WAVEFORMAT (16 bytes).
    bool CheckInputType(const media::MediaType &type) override;
    // The output carries a byte stream: Stream/WAVE only.
    bool CheckTransform(const media::MediaType &in, const media::MediaType &out) override;
    std::optional<media::MediaType> GetMediaType(int position) override;
    // One buffer as large as the input's.
    bool DecideBufferSize(media::Allocator &allocator,
                          const media::AllocatorProperties &input) override;
    bool StartStreaming() override;
    // Writes the header; a missing downstream IStream or a failed write ends
    // the run with error-abort (the file writer then keeps no file).
    void StopStreaming() override;
    // A sample that was not delivered is not counted: the next one takes its
    // place in the file.
    media::Flow Receive(const media::SamplePtr &sample) override;
    // Copies the audio and stamps its byte offsets; a sample that would take
    // the file past 4 GiB − 1 is refused with Error, which ends the run.
    media::Flow Transform(const media::MediaSample &in, media::MediaSample &out) override;

private:
    WaveDestCore m_core; // streaming thread while streaming; stopping thread after
};

} // namespace vidora
