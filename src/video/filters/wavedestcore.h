#pragma once

// The per-run work of the WAVE writer filter, apart from any filter framework:
// it places each audio sample at its byte position in a RIFF WAVE file and
// writes the header once the sizes are known.
//
// The file (little-endian; F the length of the input's format block, D the
// audio bytes delivered):
//   0       "RIFF", D + F + 20
//   8       "WAVE"
//   12      "fmt ", F, then the format block byte for byte (no pad byte after
//           an odd F)
//   20 + F  "data", D
//   28 + F  the audio bytes in the order the samples arrived
// so the audio starts at 44 with a 16-byte PCM format block, at 46 with an
// 18-byte WAVEFORMATEX.
//
// The filter that wraps it maps its life cycle:
//   start of streaming → startStreaming(format block of the input connection)
//   Receive            → saved = dataBytes(); base receive, whose Transform
//                        calls place() and stamps the sample with the
//                        placement; when the sample was not delivered,
//                        rewind(saved)
//   stop of streaming  → stopStreaming(the downstream file writer)
// place() and the counters belong to the streaming thread; stopStreaming runs
// after streaming has ended.
#include "video/filters/positionalwriter.h"

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace vidora {

// The header of a WAVE file for a format block and a data size (see above).
// The caller keeps the sizes within 32 bits.
std::vector<std::uint8_t> BuildWaveHeader(std::span<const std::uint8_t> formatBlock,
                                          std::uint32_t dataBytes);

class WaveDestCore
{
public:
    // The largest file the 32-bit RIFF sizes can describe.
    static constexpr std::uint64_t kMaxFileBytes = 0xFFFFFFFFu;
    // A format block shorter than a PCM WAVEFORMAT cannot describe the audio.
    static constexpr std::size_t kMinFormatBytes = 16;

    // maxFileBytes: the largest file place() allows, kMaxFileBytes at most (a
    // smaller one lets tests reach the limit without gigabytes of audio).
    explicit WaveDestCore(std::uint64_t maxFileBytes = kMaxFileBytes);

    // Whether a connection with this format block can be written.
    static bool formatAccepted(std::span<const std::uint8_t> formatBlock);

    // Begins a run: keeps a copy of the format block and counts no audio yet.
    // False, with errorMessage(), for a format block that is not accepted.
    bool startStreaming(std::span<const std::uint8_t> formatBlock);

    // Byte offsets of a sample in the file: [start, stop).
    struct Placement
    {
        std::uint64_t start = 0;
        std::uint64_t stop = 0;
    };

    // Places a sample of `length` bytes after the audio counted so far and
    // counts it. False, with errorMessage(), when no run is streaming or when
    // the file would pass the largest file: the sample is refused and not
    // counted.
    bool place(std::uint64_t length, Placement &placement);

    std::uint32_t dataBytes() const { return m_dataBytes; }
    // Takes the count back to a value dataBytes() gave, for a sample that was
    // placed but not delivered: the next sample takes its place.
    void rewind(std::uint32_t dataBytes) { m_dataBytes = dataBytes; }
    std::uint32_t headerSize() const { return m_headerSize; }
    // The format block the header will hold.
    const std::vector<std::uint8_t> &format() const { return m_format; }

    // Ends the run: writes the header at the start of the file through the
    // writer. False, with errorMessage(), when there is no writer, no run was
    // started, or the write fails.
    bool stopStreaming(PositionalWriter *writer);

    QString errorMessage() const { return m_errorMessage; }

private:
    bool fail(const QString &message);

    const std::uint64_t m_maxFileBytes;
    std::vector<std::uint8_t> m_format; // the input's format block, as connected
    std::uint32_t m_headerSize = 0;     // F + 28
    std::uint32_t m_dataBytes = 0;      // audio bytes delivered in this run
    bool m_started = false;
    QString m_errorMessage;
};

} // namespace vidora
