#pragma once

// Where a writer of a file format puts bytes by their position in the file:
// the file writer at the end of a graph writes each sample at the byte offset
// its start time gives, and a header is patched at the start once its sizes
// are known.
#include <QtGlobal>

#include <cstdint>
#include <span>

namespace vidora {

class PositionalWriter
{
public:
    virtual ~PositionalWriter() = default;

    // Writes the bytes at `position` (from the start of the file), growing the
    // file as needed (a gap reads as zeros). False when they could not all be
    // written; the caller reports the failure.
    virtual bool writeAt(qint64 position, std::span<const std::uint8_t> bytes) = 0;
};

} // namespace vidora
