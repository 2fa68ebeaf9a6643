#pragma once

// Little-endian numbers in the bytes a test builds or checks: a file read
// back, a format block, a header patched to make a damaged file. Whole values
// are built with bytesLE32 (formats/riff.h).
#include <QByteArray>

#include <cstdint>
#include <span>

namespace vidora::test {

// The 32-bit number at `at`; a read that passes either end fails the current
// test and gives 0.
quint32 le32At(const QByteArray &bytes, qint64 at);
quint32 le32At(std::span<const std::uint8_t> bytes, std::size_t at);

// Writes the low `width` bytes of `value` at `at`; the bytes that would pass
// the end are left out (a patch near the end of a file stays inside it).
void putLe(QByteArray &bytes, qint64 at, quint64 value, int width = 4);

} // namespace vidora::test
