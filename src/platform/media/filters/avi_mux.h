#pragma once

// The AVI mux: streams in, one RIFF AVI byte stream out (to a file writer).
//
// Pins: the output first, then the inputs; after each input connection a new
// free input is added at the end. An input takes Interleaved/dvsd with a
// DVINFO (written as an "iavs" stream with handler dvsd and the DVINFO as its
// format: DV type 1), Video with a VIDEOINFOHEADER ("vids") or Audio with a
// WAVEFORMATEX ("auds").
//
// Layout. Each sample becomes one chunk ("##dc" video, "##wb" audio), written
// at the byte offset given as the output sample's start time. The headers are
// reserved at the start and written when the graph stops, through the file
// writer's IStream (the writer stops after the mux). A form that would pass
// the RIFF size limit is closed and an "AVIX" form started: the file becomes
// OpenDML, with a 248-byte "dmlh", an "indx" super index per stream and an
// "ix##" standard index per stream in every form; the first form keeps an
// "idx1" for readers of AVI 1.0. A file that fits in one form is plain AVI
// 1.0 (the reserved OpenDML headers are left as "JUNK").
//
// Order. Each input delivers on its upstream streaming thread, so samples of
// different streams arrive in an order that depends on the threads. Chunks
// are therefore written in the order of their start times (the earlier
// stream first on a tie): a sample is copied into its chunk at once (the
// upstream buffer goes back to its pool) and waits until every stream that
// has not ended has a chunk waiting; the same graph thus writes the same
// file every time. A stream that falls more than kMaxWaiting chunks behind
// no longer holds the others back. Chunks are written one at a time under
// m_mutex.
//
// End. When every input has ended, a video or interleaved stream that got no
// frame raises error-abort ("no video frame reached the output") instead of
// ending the output: the file writer then leaves no file behind.
#include "platform/media/filter.h"

#include <deque>
#include <mutex>
#include <optional>

namespace vidora::media {

class AviMuxFilter final : public Filter
{
public:
    static constexpr std::int64_t kDefaultRiffLimit = std::int64_t(1) << 30;
    // Chunks a stream may hold waiting for a slower stream.
    static constexpr std::size_t kMaxWaiting = 256;

    AviMuxFilter();

    std::vector<Pin *> pins() override;
    OutputPin &output() { return m_output; }
    InputPin &inputAt(std::size_t index) { return *m_inputs.at(index); }

    // The size a RIFF form may reach before the next one starts (bytes);
    // 1 GiB unless lowered (tests). Only while stopped; refused below 64 KiB
    // or at 2 GiB and more (offsets in "ix##" are 32-bit).
    bool setRiffLimit(std::int64_t bytes);

    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    void pinConnected(Pin &pin) override;
    bool Pause() override;
    void Stop() override;
    Flow receive(InputPin &pin, const SamplePtr &sample) override;
    Flow endOfStream(InputPin &pin) override;
    void beginFlush(InputPin &pin) override;
    void endFlush(InputPin &pin) override;
    void newSegment(InputPin &pin, std::int64_t start, std::int64_t stop) override;
    // The end of the latest sample muxed (absolute, 100 ns).
    std::optional<std::int64_t> renderedPosition() const override;

private:
    struct IndexEntry
    {
        std::int64_t offset = 0; // of the chunk header
        std::uint32_t size = 0;  // data bytes
        bool key = true;
    };
    struct SuperEntry
    {
        std::int64_t offset = 0; // of the "ix##" chunk
        std::uint32_t size = 0;  // the whole chunk
        std::uint32_t duration = 0;
    };
    // A chunk built from a sample, waiting for its turn.
    struct Waiting
    {
        SamplePtr chunk;          // "##dc"/"##wb", size and data (padded)
        std::uint32_t length = 0; // data bytes
        bool key = true;
        std::int64_t order = 0;              // absolute start, 100 ns
        std::optional<std::int64_t> reached; // absolute end, when timed
    };
    struct Stream
    {
        InputPin *pin = nullptr;
        MediaType type;
        std::uint32_t chunkId = 0;
        std::uint32_t fccType = 0;
        std::int64_t frameDuration = 0; // video, 100 ns; 0 for audio
        std::int64_t chunks = 0;        // every chunk written
        std::int64_t accepted = 0;      // every sample taken (written or waiting)
        std::int64_t lastOrder = 0;     // order of an untimed sample
        std::deque<Waiting> waiting;
        std::int64_t bytes = 0;
        std::uint32_t maxChunk = 0;
        std::uint32_t firstFormChunks = 0;
        std::vector<IndexEntry> formIndex; // the current form's chunks
        std::vector<SuperEntry> superIndex;
        std::int64_t segmentStart = 0;
        bool ended = false;
    };
    struct Form
    {
        std::int64_t offset = 0; // "RIFF"
        std::int64_t movi = 0;   // "LIST" of "movi"
        std::int64_t end = 0;
    };

    std::int64_t headerSize() const;
    std::vector<std::uint8_t> headerBytes() const;
    Flow writeBytes(std::vector<std::uint8_t> bytes); // at m_end, through the output
    std::vector<std::uint8_t> standardIndex(std::size_t stream, const Form &form) const;
    Flow closeForm(bool atStop, class IStream *stream);
    Flow openForm();
    bool writeHeaders();
    Stream *streamOf(const Pin &pin);
    // Writes the waiting chunks whose turn has come (m_mutex held).
    Flow drain();
    Flow writeChunk(Stream &s, Waiting chunk); // m_mutex held

    OutputPin m_output;
    std::vector<std::unique_ptr<InputPin>> m_inputs; // changed while stopped
    std::int64_t m_riffLimit = kDefaultRiffLimit;

    mutable std::mutex m_mutex;
    // guarded by m_mutex; written on the inputs' streaming threads and by Stop
    std::vector<Stream> m_streams;
    std::vector<Form> m_forms;
    std::vector<IndexEntry> m_idx1; // chunks of the first form, in file order, with their stream
    std::vector<std::uint8_t> m_idx1Streams;
    std::int64_t m_end = 0; // where the next chunk goes
    bool m_failed = false;
    std::atomic<std::int64_t> m_position{-1};
    // The chunks' buffers, used again once written.
    SampleRecycler m_chunks{16};
};

} // namespace vidora::media
