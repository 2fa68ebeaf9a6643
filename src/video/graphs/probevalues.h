#pragma once

// What the probe of a video file gives the list entry: its stream formats and
// durations and the first DV frame's values. The probe graph (TdmList) fills
// one ProbeValues per file and returns it; nothing is left over from an
// earlier file.
#include "formats/datetime.h"
#include "formats/dvcodes.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace vidora {

// The fields of the first video stream's VIDEOINFOHEADER the list uses.
struct ProbeVideoFormat
{
    std::uint32_t compression = 0;    // biCompression, first character in the lowest byte
    std::int32_t width = 0;           // biWidth
    std::int32_t height = 0;          // biHeight
    std::int64_t avgTimePerFrame = 0; // 100 ns units
    std::uint32_t bitRate = 0;        // dwBitRate, bits per second
};

// The fields of the first audio stream's WAVEFORMATEX.
struct ProbeAudioFormat
{
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t bitsPerSample = 0;
};

// The DVINFO block of the first interleaved DV stream, as six 32-bit words.
struct ProbeDvInfo
{
    std::uint32_t aAuxSrc = 0;
    std::uint32_t aAuxCtl = 0;
    std::uint32_t aAuxSrc1 = 0;
    std::uint32_t aAuxCtl1 = 0;
    std::uint32_t vAuxSrc = 0; // VAUX source pack bytes 1-4; bit 21 set for 50 Hz systems
    std::uint32_t vAuxCtl = 0;
};

struct ProbeValues
{
    // False when the file could not be loaded or an interleaved DV stream
    // could not be split; the other values are then not to be used.
    bool ok = false;
    // Streams of the AVI splitter.
    int streamCount = 0;
    // Some stream was accepted as DV (DV video or interleaved DV).
    bool hasDv = false;

    std::optional<ProbeVideoFormat> video;
    std::int64_t videoDuration = 0; // 100 ns units
    // Frames of the video's stream as the file numbers them; 0 when the
    // stream does not count frames.
    std::int64_t videoFrames = 0;
    // The first audio format; for interleaved DV, the stream's whole sound
    // (the channels and bytes of every stereo pair of its frames).
    std::optional<ProbeAudioFormat> audio;
    std::int64_t audioDuration = 0; // 100 ns units
    // Frames of the interleaved stream the audio comes from; 0 for audio of
    // its own stream.
    std::int64_t audioFrames = 0;
    std::optional<ProbeDvInfo> dvInfo;

    // The first DV frame's values; false/zero when no DV frame was seen.
    bool hasDate = false;
    DateTimeValue recDateTime = 0;
    bool hasTimecode = false;
    TDvTimecode timecode;
    bool wide = false;
};

} // namespace vidora
