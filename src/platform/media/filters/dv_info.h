#pragma once

// The DVINFO block of an interleaved DV stream as its frames carry it.
//
// A type-1 AVI file stores DVINFO in its stream format, and capture software
// often writes it wrong (48 kHz 16-bit over frames that carry 32 kHz 12-bit
// four-channel sound, the 625-line flag over 525-line frames) or blank (all
// 0xFF when the first frame was dropped). The frames' own packs are what the
// camcorder recorded, so readers of the stream take them from a whole frame
// and keep the stored block only for what the frame does not say.
#include "platform/media/filters/dv_audio.h"
#include "platform/media/media_type.h"

#include <cstdint>
#include <span>

namespace vidora::media::dv {

// A DVINFO word whose pack is absent: the filler bytes of an empty pack slot.
inline constexpr std::uint32_t kNoPack = 0xffffffffu;

// The DVINFO of a stream whose first whole frame is `frame` (sys.frameBytes
// long), with `stored` the block the file holds:
// - AAUX source (0x50) and source control (0x51) of each half: the first of
//   each in that half's audio blocks, kNoPack where the half has none. A
//   frame without a source pack in its first half carries no sound: all four
//   AAUX words are kNoPack.
// - VAUX source (0x60) and source control (0x61): the frame's first pack of
//   each, else the stored word. The 50/60 flag of the VAUX source (bit 21)
//   follows the frame's size; a blank word (absent from both) becomes the
//   source pack of the system with no other information.
// - The reserved words are the stored ones.
DvInfo frameDvInfo(std::span<const std::uint8_t> frame, const System &sys, const DvInfo &stored);

} // namespace vidora::media::dv
