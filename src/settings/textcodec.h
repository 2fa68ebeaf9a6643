#pragma once

// Decoding of text files that may come from another system: settings files,
// playlists, scripts.
#include <QByteArray>
#include <QString>

#include <optional>

namespace vidora {

// Decodes a whole text file: a byte-order mark decides first (UTF-8, UTF-16
// little or big endian); without one, bytes that show UTF-16 (see
// Utf16WithoutMark) are read as such; else the bytes are UTF-8 when they are
// valid UTF-8, else Windows-1252 (the 8-bit code page such files were written
// in).
QString DecodeText(const QByteArray &bytes);

enum class TUtf16Guess {
    None,
    LittleEndian,
    BigEndian,
};

// UTF-16 without a byte-order mark shows in its bytes: an even count, and in
// at least half of the 16-bit units one byte zero, always the same one (the
// second for little endian), while the other byte of a unit is never zero.
// Text in an 8-bit code page holds no zero byte at all.
TUtf16Guess Utf16WithoutMark(const QByteArray &bytes);

// DecodeText for a file a person named as text (a script, a playlist):
// nothing when the result is no text, that is when it holds a zero character
// or more than one control character in 32 other than tabs, line and page
// breaks (an AVI file, a picture).
std::optional<QString> DecodeTextFile(const QByteArray &bytes);

} // namespace vidora
