#pragma once

// DV frames for the filter cores' tests, described by what a camcorder would
// have written into them and laid out by the test frame builder.
#include "support/dvframe.h"

#include <QDateTime>

#include <optional>

namespace vidora::test {

struct DvFacts
{
    DvStandard standard = DvStandard::Pal;
    QDateTime recorded;                // recording date and time; invalid: no date packs
    std::optional<int> timecodeFrames; // a time code 01:02:03:ff when set
    bool aux = true;                   // AAUX source and VAUX source control packs
    int rateCode = 0;                  // AAUX: 0 48 kHz, 1 44.1 kHz, 2 32 kHz
    int quantisation = 0;              // AAUX: 0 16 bits, 1 12 bits
    bool fourChannels = false;
    bool wide = false;
};

// 2006-05-14 10:00:00 plus some seconds.
QDateTime recordedAt(int seconds);

// Date and time packs in VAUX block 5 of sequence 0 (where camcorders put
// them) and in the subcode of every sequence; the time code in the first
// subcode pack of every sequence; the source control pack in VAUX block 3 of
// sequence 0 and the AAUX source pack in the first audio block.
DvFrame buildDvFrame(const DvFacts &facts);

} // namespace vidora::test
