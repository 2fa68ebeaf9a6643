#pragma once

#include <QString>

namespace vidora {

// The version of the media libraries in use, shown where the program names
// its multimedia runtime: the DV codec library's name and its three-part
// version, as the library loaded at run time reports it ("libavcodec
// 59.37.100").
void GetDirectXVersion(QString &text);

} // namespace vidora
