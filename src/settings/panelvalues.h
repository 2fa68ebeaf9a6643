#pragma once

// What the settings panel and the commands-and-keys window show and accept,
// as functions of plain values: the sample file names of the date formats,
// the typed interval, and the order of the commands list.
#include "formats/datetime.h"

#include <QKeySequence>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

class QAction;

namespace vidora {

class TCustomSuperAction;

// A rename template expanded on sample values: letter case aside, "%F"
// "video", "%E" ".avi", "%D" `now` in `dateFormat`, "%T" "0.54.32.10", "%C"
// "dvsd", "%I" "640x480", "%A" "48000Hz 16bits stereo", "%U" "30s 12fr"; then
// each of < > " / \ | becomes "_" and each ":" becomes ".".
QString FormatSampleName(const QString &templateText, const QString &dateFormat, DateTimeValue now);

// A number of seconds typed by the user: a whole number above 0, blanks
// around it allowed, written with "." or the locale's decimal separator
// ("30", "30.0", "30,0" where "," is that separator); nothing otherwise.
std::optional<int> ParseSecondsText(const QString &text);

// One line of the commands-and-keys window.
struct CommandRow
{
    TCustomSuperAction *action = nullptr;
    QString caption;
    QString keys; // the primary key's text; empty without one
    QString switchName;
    QString token;
};

// The text a key is shown with.
QString ShortcutText(const QKeySequence &key);

// Every action of the list with a caption, once, sorted (letter case aside)
// by `column`: 0 caption then object name, 1 key text then caption then name,
// 2 switch then caption then name, 3 token then caption then name; the texts
// follow each other without a separator.
QList<CommandRow> CommandRows(const QList<QAction *> &actions, std::uint8_t column);

} // namespace vidora
