#pragma once

// The texts the main window makes from the file list: the playlist file, the
// detailed list, the counts label under the list and the total-duration
// message. They are built from values, so they are checked without a window;
// the files are written by WriteFileCommitted.
#include "files/avifichier.h"
#include "files/listfichier.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace vidora {

// The file name of the playlist written at shut-down and read at start.
inline const QString kDefaultPlayListName = QStringLiteral("PlayList.txt");

// What a playlist's comment lines say besides its paths.
struct TPlayListInfo
{
    QString programText;  // "Vidora 7.0.5 En"
    QString homePage;     // the maker's home page address
    QString sortMenuText; // the list order's menu text ("by datecode")
    QString doneOn;       // when the list was written, already formatted
};

// The playlist: six header comment lines, an empty line, one line per path
// (five blanks and the path), an empty line and three footer comment lines,
// each line ended by CR LF. The reader skips every line but the paths.
// A path that a line cannot hold (PlayListCanHold) is left out, never written
// cut, and added to `leftOut`; the footer counts the paths written.
QString PlayListText(const TPlayListInfo &info, const QStringList &paths,
                     QStringList *leftOut = nullptr);

// Whether a playlist line gives the path back as it is: the reader splits
// lines at CR and LF and trims blanks and control characters at both ends,
// so a name with a line break, or that ends in blanks, would come back cut
// (and a cut line could name another file).
bool PlayListCanHold(const QString &path);

// The message for paths left out of a playlist, one path a line.
QString PlayListLeftOutMessage(const QStringList &leftOut);

// The text as UTF-16 little-endian after the byte-order mark FF FE.
QByteArray Utf16LeWithBom(const QString &text);

// One line of the detailed list (without its line end): path, datecode, scn
// and srt, time code, codec and DV type, picture, durations, frame rate,
// audio, audio format, size, file date and, when the entry has one, its date
// offset, joined by commas. Dates use `datecodeFormat` (a date-time pattern);
// numbers are written in `locale`, the size with its group separators.
QString DetailedListLine(const TaviFichier &entry, const QString &datecodeFormat,
                         const QLocale &locale = QLocale());

// "n file(s) on m - " + the order's status text; only the selected count
// is put in the plural ("2 files on 5").
QString CountsLabelText(int selectedCount, int count, const TSortIndex &order);

// The message of the total duration: the selected videos' and all listed
// videos' durations (100 ns units) as millisecond duration texts.
QString TotalDurationMessage(std::int64_t selectedDuration, std::int64_t allDuration);

// Writes the bytes under a temporary name beside `path` and renames that file
// over `path` once every byte is written; on failure the old file, if any, is
// left as it was, no temporary file stays, and `error` names the path and the
// reason.
bool WriteFileCommitted(const QString &path, const QByteArray &bytes, QString &error);

} // namespace vidora
