#pragma once

// Changes the codec and the frame rate of an AVI file's video stream in
// place, without rewriting the file: the handler FourCC of the video stream
// header, the compression FourCC of its format, and the header's dwScale and
// dwRate. Each call scans the file's headers itself (riff::walkTree) and
// writes only at the positions it found; nothing carries over between calls.
#include "formats/riff.h"

#include <QString>

#include <optional>

namespace vidora {

// File offsets of the patched fields; -1 when not found. A field is only
// found when its chunk, and the list around that chunk, hold all of its bytes.
struct AviHeaderPositions
{
    qint64 handler = -1;     // fccHandler of the last "vids" or "iavs" "strh" (data + 4)
    qint64 scale = -1;       // dwScale of that same header (data + 20); dwRate follows
    qint64 compression = -1; // biCompression of the last "strf" after a "vids" header (data + 16)

    bool operator==(const AviHeaderPositions &) const = default;
};

// Positions in the file; all -1 when it cannot be read.
AviHeaderPositions ScanAviHeader(const QString &fileName);

// The handler FourCC of the video stream, or 0 when the file has no video
// stream header. Throws AviFileError when the file cannot be opened.
FourCC ReadAviCodec(const QString &fileName);

// Writes the FourCC at the handler and compression positions found. False,
// with the file untouched, when the code is not four printable ASCII
// characters, when the file cannot be opened for writing or holds no video
// stream header; false also when a write fails.
bool WriteAviCodec(const QString &fileName, FourCC codec);

// Writes dwScale = 1000000 / fps (rounded, halves to even) and dwRate =
// 1000000 into the video stream header; the main header and the other
// streams are left as they are. Throws AviFileError, with the file untouched,
// when the rate is not a finite number above 0 whose scale lies within
// 1..4294967295, when the file cannot be opened for reading and writing, or
// when it holds no video stream header; and when the write fails.
void WriteAviFrameRate(const QString &fileName, double fps);

// The first four characters packed first-in-lowest-byte; a shorter text is
// padded with blanks, characters outside Latin-1 become 0.
FourCC StrToFourCC(const QString &text);
// The four bytes as four characters (Latin-1), in file order.
QString FourCCToStr(FourCC code);

// A FourCC typed by the user: padded with blanks to four characters, then
// accepted only as four printable ASCII characters (0x20..0x7E).
std::optional<FourCC> FourCCFromText(const QString &text);
bool isPrintableFourCC(FourCC code);

} // namespace vidora
