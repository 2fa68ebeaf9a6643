#pragma once

// The portable settings file: UTF-16LE text with a byte-order mark and CR LF
// line ends, held in memory as a list of lines. Only the lines of one
// section are read and written; lines before the first header and the
// sections of other programs are kept as they are.
//
// A header is a line that, trimmed of the characters below 33, begins with
// "[" and ends with "]"; headers compare after that trimming, exactly. Every
// other line is a name (everything before the first "=", compared exactly,
// untrimmed), "=" and a value (everything after it).
#include <QString>
#include <QStringList>

#include <optional>

namespace vidora {

// Settings files larger than this are refused rather than read.
inline constexpr qint64 kMaxIniFileBytes = 16 * 1024 * 1024;

struct IniLoadResult
{
    bool ok = false;   // false: the file exists but could not be read
    QStringList lines; // empty for a missing or empty file
    QString error;     // the path and the reason when !ok
};

// Reads the file into lines, decoded as DecodeText does, split at CR LF, CR
// and LF (a final line break adds no empty line). A missing file gives no
// lines and ok; one that is not a regular file, or is larger than
// kMaxIniFileBytes, is not read (see ReadRegularFile).
IniLoadResult LoadIniLines(const QString &path);

// Writes the lines: FF FE, then each line in UTF-16LE followed by CR LF. The
// file is replaced whole or not at all; throws std::runtime_error naming the
// path and the reason when it cannot be written.
void SaveIniLines(const QString &path, const QStringList &lines);

bool IsIniHeader(const QString &line);

// The value of `name` in `section` ("[" + key path + "]"), or nothing.
std::optional<QString> IniLookup(const QStringList &lines, const QString &section,
                                 const QString &name);

// Sets `name` in `section` to `value`: the line of that name in the section
// is replaced; otherwise a new line goes at the end of the section (just
// before the next header, or at the end of the file), after a new header when
// the section has none yet.
void IniWrite(QStringList &lines, const QString &section, const QString &name,
              const QString &value);

// A real as the file holds it: the shortest text that reads back to the same
// double, with "." as its decimal separator.
QString FormatIniReal(double value);
// A real read from the file: trimmed, "." or "," as its decimal separator;
// nothing when it is not a finite number.
std::optional<double> ParseIniReal(const QString &text);

} // namespace vidora
