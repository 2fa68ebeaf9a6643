#pragma once

// The AVI splitter: reads a RIFF AVI file through its input's IAsyncReader
// (a file source) and publishes one output per stream of the file.
//
// Pins: only the input until it is connected; once connected, one output
// per stream in stream order, then the input last. The file is read when
// the input connects: a file that is not AVI, or whose headers hold sizes
// that cannot be, refuses the connection (lastError() says why).
//
// What each stream becomes:
// - "iavs" (DV type 1): Interleaved/dvsd with the DVINFO that the packs of
//   its first whole frame give, the "strf" block's words where the frame
//   has no pack (dv_info.h): capture software often writes that block wrong;
// - "vids": Video with a VIDEOINFOHEADER (its AvgTimePerFrame from the
//   stream's scale and rate, bytes of "strf" past the BITMAPINFOHEADER kept
//   after it); a DV variant (dvsd, dsvd, CDVC, dv25, …, or a stream whose
//   first frame is a 120000/144000-byte DIF frame) is published with the
//   subtype dvsd while biCompression keeps the file's own code;
// - "auds": Audio with a WAVEFORMATEX (a 16-byte PCMWAVEFORMAT widened to 18);
// - anything else: Stream with the stream type as subtype.
//
// Where the frames are: the OpenDML indexes ("indx" super index and its
// "ix##" chunks, across "AVIX" forms) when the file has them, else "idx1",
// else a scan of the "movi" lists. Indexes are not trusted: entries spread
// over each stream are compared with the chunk headers they point at when
// the file is read, and a stream whose index is damaged, gives nothing or
// disagrees with the file takes its chunks from the next way (the scan stops
// at the first header that cannot be a chunk's). Every entry's header is
// compared again when its chunk is read: one that does not fit is skipped,
// its frame number left unused. A truncated file plays the frames that are
// wholly inside it. Video and interleaved samples carry media times = frame
// numbers, audio samples sample numbers; times are 100 ns. PCM audio starts
// at the sample of the seek position and ends at the stop position's, even
// inside a chunk: a chunk may hold several frames' sound.
#include "platform/media/filter.h"
#include "platform/media/interfaces.h"
#include "platform/media/registry.h"
#include "platform/media/splitter.h"

#include <string>

namespace vidora::media {

class AviSplitterFilter final : public SplitterFilter
{
public:
    AviSplitterFilter();
    ~AviSplitterFilter() override;

    // Zero bytes after each chunk's data in the samples: a decoder reads up to
    // 64 bytes past the end of a packet (libavcodec's input padding), so a
    // frame can be decoded where it was read.
    static constexpr std::size_t kReadPadding = 64;

    InputPin *inputPin() override { return &m_input; }
    InputPin &input() { return m_input; }
    // Why the last connection of the input was refused ("" when it was not).
    std::string lastError() const { return m_lastError; }

    Flow GetNextSample(std::size_t stream, SamplePtr &sample) override;
    bool Seek(std::int64_t position) override;
    std::int64_t Duration() override;
    std::int64_t FrameDuration() override;
    FrameRate ExactFrameRate() override;
    std::vector<MediaType> OutputTypes(std::size_t stream) override;
    // Frames of a video or interleaved stream, dropped frames included, as
    // its chunks number them (Duration() ends with the same frame); 0 for
    // other streams. Durations in 100 ns lose whole frames to rounding at
    // 30000/1001 frames a second; this count does not.
    std::int64_t FrameCount(std::size_t stream) const;
    bool DecideBufferSize(std::size_t stream, Allocator &allocator) override;

    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    bool completeConnect(Pin &pin) override;
    void pinDisconnected(Pin &pin) override;

    // One chunk of a stream in the file.
    struct Chunk
    {
        std::int64_t offset = 0;   // of the data, from the file start
        std::uint32_t size = 0;    // data bytes
        std::int64_t position = 0; // frame number (video), byte offset in the stream (audio)
        bool key = true;
    };
    struct Stream
    {
        std::uint32_t type = 0;    // fccType
        std::uint32_t handler = 0; // fccHandler
        std::uint32_t scale = 0;
        std::uint32_t rate = 0;
        std::uint32_t sampleSize = 0;
        std::vector<std::uint8_t> format;   // the "strf" data
        std::int64_t superIndexOffset = -1; // data of "indx", -1 when none
        std::uint32_t superIndexSize = 0;
        std::vector<Chunk> chunks;
        MediaType mediaType;
        std::uint32_t maxChunk = 0;
        std::int64_t totalBytes = 0;
        std::size_t next = 0; // written by the stream's thread, or while no thread runs
        // PCM: bytes of chunks[next] before the seek position, left out of
        // its sample (same thread rule as `next`).
        std::uint32_t skip = 0;
    };

private:
    bool open(IAsyncReader &reader);
    std::int64_t chunkStart(const Stream &stream, std::size_t index) const; // 100 ns
    std::int64_t chunkStop(const Stream &stream, std::size_t index) const;
    // The byte of a PCM stream at `time` (100 ns), on a block boundary;
    // nothing for other streams or a negative time.
    std::optional<std::int64_t> pcmByte(const Stream &stream, std::int64_t time) const;

    InputPin m_input;
    IAsyncReader *m_reader = nullptr; // the connected source's; changed while stopped
    std::vector<Stream> m_streams;    // changed while stopped
    std::string m_lastError;
};

// The factory that lets Render put an AVI splitter after a file source.
FilterFactory aviSplitterFactory();

} // namespace vidora::media
