#pragma once

// The two systems of standard-definition DV (IEC 61834-2, SMPTE 314M 25 Mbit/s):
// every value a reader, writer or filter needs to tell them apart or to size a
// frame. Code looks the values up here rather than writing them again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vidora {

// Frames per second as an exact fraction.
struct DvFrameRate
{
    int num; // frames
    int den; // per this many seconds
};

struct DvSystem
{
    bool is525;                    // 525 lines / 60 fields (NTSC), else 625 lines / 50 fields (PAL)
    std::uint8_t headerSystemByte; // header block byte 3 (IEC 61834-2): DSF bit 7 set for 625/50
    int difSequences;              // DIF sequences per frame, 150 blocks of 80 bytes each
    std::size_t frameBytes;        // bytes per frame = difSequences × 12000
    int width;                     // picture pixels per line (ITU-R BT.601)
    int height;                    // picture lines (ITU-R BT.601)
    std::int64_t frameDuration;    // 100 ns, rounded to the nearest unit (525/60: 333666.67)
    DvFrameRate rate;              // frames per second (SMPTE 314M)
    int timecodeRate;              // frames per second as the time code counts them (30 drop-frame
                                   // for 525/60, 25 for 625/50; SMPTE 12M)
    std::array<int, 5> samples48k; // audio samples per frame at 48 kHz, frames 0–4 of each
                                   // five-frame cycle (IEC 61834-4: 525/60 locks 8008 samples
                                   // to five frames); other rates follow rate × 1/frame rate
    int samplesPerPosition;        // samples of one channel per audio data position across a half
    std::array<int, 3> minSamples; // samples per frame at AF_SIZE 0, per AAUX SMP code
                                   // (48 kHz, 44.1 kHz, 32 kHz; IEC 61834-4)
};

inline constexpr std::array<DvSystem, 2> kDvSystems{{
    {
        .is525 = true,
        .headerSystemByte = 0x3F,
        .difSequences = 10,
        .frameBytes = 120000,
        .width = 720,
        .height = 480,
        .frameDuration = 333667,
        .rate = {30000, 1001},
        .timecodeRate = 30,
        .samples48k = {1600, 1602, 1602, 1602, 1602},
        .samplesPerPosition = 45,
        .minSamples = {1580, 1452, 1053},
    },
    {
        .is525 = false,
        .headerSystemByte = 0xBF,
        .difSequences = 12,
        .frameBytes = 144000,
        .width = 720,
        .height = 576,
        .frameDuration = 400000,
        .rate = {25, 1},
        .timecodeRate = 25,
        .samples48k = {1920, 1920, 1920, 1920, 1920},
        .samplesPerPosition = 54,
        .minSamples = {1896, 1742, 1264},
    },
}};

inline constexpr const DvSystem &kDv525 = kDvSystems[0];
inline constexpr const DvSystem &kDv625 = kDvSystems[1];

// Bytes of one DIF sequence: 150 DIF blocks of 80 bytes.
inline constexpr std::size_t kDvSequenceBytes = 12000;

// The system of a 525-line (true) or 625-line (false) recording.
constexpr const DvSystem &DvSystemByLines(bool is525)
{
    return is525 ? kDv525 : kDv625;
}

// The system whose frames are exactly `frameBytes` long, or null.
constexpr const DvSystem *DvSystemByFrameBytes(std::size_t frameBytes)
{
    for (const DvSystem &system : kDvSystems)
        if (system.frameBytes == frameBytes)
            return &system;
    return nullptr;
}

// The system whose frame duration is `frameDuration` (100 ns), or null. A
// 525/60 duration truncated instead of rounded (333666) is taken too.
constexpr const DvSystem *DvSystemByFrameDuration(std::int64_t frameDuration)
{
    if (frameDuration == kDv525.frameDuration - 1)
        return &kDv525;
    for (const DvSystem &system : kDvSystems)
        if (system.frameDuration == frameDuration)
            return &system;
    return nullptr;
}

// The system whose pictures have `height` lines, or null.
constexpr const DvSystem *DvSystemByHeight(int height)
{
    for (const DvSystem &system : kDvSystems)
        if (system.height == height)
            return &system;
    return nullptr;
}

// Whether a stream's four-character code (handler or compression, compared
// without regard to case) names a DV video format: the 25 Mbit/s codes of the
// different makers (dvsd, dsvd, cdvc, dv25, "dvc ", dvcp) and the low-rate and
// high-definition variants (dvsl, dvh1).
bool IsDvFourCC(std::string_view code);
// The same for a code as stored in a file: little-endian, first character in
// the low byte.
bool IsDvFourCC(std::uint32_t code);

} // namespace vidora
