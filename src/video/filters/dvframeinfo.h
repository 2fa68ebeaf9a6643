#pragma once

// What the date-based scene detector learns from each DV frame, and the copy of
// the frame's leading blocks it keeps for the DV header rewriting.
#include "formats/dvcodes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vidora {

// The DV information of one frame. Copied whole; fields whose pack a frame
// lacks keep the previous frame's values, and HasTimecode and AuxValid tell
// whether the values belong to this frame.
struct TDvFrameInfo
{
    std::uint32_t FrameNumber = 0; // within the current run, from 0
    bool HasDate = false;          // a recording date and time that forms a valid date-time
    bool HasTimecode = false;      // a time code pack was found
    bool AuxValid = false;         // both an AAUX source pack and a VAUX source control pack
    double RecDateTime = 0.0;      // day number (see DateTimeValue), whole seconds; 0 without date
    TDvTimecode Timecode;
    bool Wide = false;              // 16:9 display
    bool Is525 = false;             // 525 lines / 60 fields, else 625 / 50
    std::int32_t SampleRate = 0;    // Hz
    std::int32_t BitsPerSample = 0; // 16, 12, or 0
    std::int32_t Channels = 0;      // 0 when not stated
};

// The first 480 bytes of each DIF sequence of the last frame the detector saw:
// DIF blocks 0 to 5 (header block, two subcode blocks, three VAUX blocks).
struct DvHeaderStore
{
    static constexpr std::size_t kEntries = 12;        // DIF sequences of a 625/50 frame
    static constexpr std::size_t kEntryBytes = 6 * 80; // blocks 0–5

    std::array<std::array<std::uint8_t, kEntryBytes>, kEntries> Entries{};
    // DIF sequences of the frame stored last in the current run (10 or 12);
    // 0 before the run's first DV frame, when the entries hold nothing of it.
    int Sequences = 0;
};

// The frame duration of a DV system in 100 ns units (525/60 at 30000/1001
// frames a second, 625/50 at 25), for connections whose format block states none.
constexpr std::int64_t DvFrameDuration(bool is525)
{
    return DvSystemByLines(is525).frameDuration;
}

} // namespace vidora
