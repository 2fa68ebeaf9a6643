#pragma once

// Decoding of text files that may come from another system: settings files,
// playlists, scripts.
#include <QByteArray>
#include <QString>

namespace vidora {

// Decodes a whole text file: a byte-order mark decides first (UTF-8, UTF-16
// little or big endian); without one, the bytes are UTF-8 when they are valid
// UTF-8, else Windows-1252 (the 8-bit code page such files were written in).
QString DecodeText(const QByteArray &bytes);

} // namespace vidora
