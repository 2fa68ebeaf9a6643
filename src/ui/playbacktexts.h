#pragma once

// The playback values of the main window worked out without it: the
// position text under the picture and the volume steps.
#include <QEvent>
#include <QString>

#include <cstdint>
#include <utility>

namespace vidora {

// "h:mm:ss:ff" of a position counted in frames at `frameRate` frames a
// second; with a frame rate of 0 (or less), "h:mm:ss:mmm" of a position in
// 100 ns units.
QString PositionText(std::int64_t position, double frameRate);

// The texts of one position tick, handed to the window as a copy.
struct TPositionInfo
{
    QString datecode;
    QString timecode;
    int sliderPosition = 0;
    QString position; // PositionText of the position read
    QString audio;
    QString audioRate;
    QString picture; // the picture text with the frame's aspect
};

// The posted event of a position tick; it owns its copy of the texts.
class TPositionEvent final : public QEvent
{
public:
    static QEvent::Type EventType();
    explicit TPositionEvent(TPositionInfo texts) : QEvent(EventType()), info(std::move(texts)) {}
    const TPositionInfo info;
};

// The volume ("Volume", 0..10000) one step up or down.
inline constexpr int kVolumeStep = 1000;
inline constexpr int kVolumeMaximum = 10000;
int VolumeUp(int volume);
int VolumeDown(int volume);
// The volume gauge's value (0..100).
inline int VolumeGauge(int volume)
{
    return volume / 100;
}

} // namespace vidora
