#pragma once

// The overlay options as plain values: the font of the burnt-in text and the
// record that the settings hold once and copy whole into the scene detector
// and the date overlay filter.
#include <QString>

#include <cstdint>

namespace vidora {

// A font as the settings store it.
struct TfontRecord
{
    QString Name;                  // face name; empty: the platform's default face
    std::int32_t Size = 16;        // points
    std::int32_t Color = 0xFFFFFF; // 0x00BBGGRR
    std::uint8_t Bold = 0;         // 0 or 1, likewise the three below
    std::uint8_t Italic = 0;
    std::uint8_t Underline = 0;
    std::uint8_t StrikeOut = 0;

    bool operator==(const TfontRecord &) const = default;
};

// The overlay font of a fresh installation: the default face, 16 points,
// white, no style.
inline TfontRecord DefaultIncrustFont()
{
    return TfontRecord{};
}

// The overlay options. Line1, Line2, DateOffset and AutoSize are not stored
// with the settings: the overlay editor rebuilds the lines, and the preview
// and the time-offset dialog set the offset per file.
struct TincrustRec
{
    QString Line1;         // first overlay template line
    QString Line2;         // second overlay template line
    std::uint8_t When = 2; // 0 always, 1 once at the start, 2 at each scene, 3 at each new day
    QString DateFormat1 = QStringLiteral("ddddd"); // fills "%D1"
    QString DateFormat2 = QStringLiteral("tt");    // fills "%D2"
    double DateOffset = 0.0;  // days added to the recording date (one hour is 1/24)
    std::int32_t Seconds = 5; // seconds the text stays after it is shown anew (When 1 to 3)
    TfontRecord Font = DefaultIncrustFont();
    std::uint8_t AutoSize = 0; // 1: font size chosen from the picture width
    std::int32_t Outline = 2;  // width in pixels of the dark outline, 0 to 5

    bool operator==(const TincrustRec &) const = default;
};

} // namespace vidora
