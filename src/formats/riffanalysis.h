#pragma once

// The AVI structure report: one line per RIFF chunk with its identifier and
// size, indented by nesting level, and a field-by-field dump of the header
// chunks (main header, stream headers, stream formats with the DV format
// block, index headers). A walker of its own: it shares nothing with the
// header parser or the patcher. It only reads the file, never past its end;
// "movi" lists and "idx1" chunks are skipped, never read, so a file of many
// gigabytes costs the time of its header lists. A structure is shown only as
// far as its chunk holds it; a run of empty or invalid chunks is one line.
#include "formats/datetime.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

namespace vidora {

struct TRiffAnalysisContext
{
    // When the report is made, for its head.
    DateTimeValue analysedAt = 0;
    // The name in the head.
    QString programName;
    // Gives the date and time separators of the head.
    QLocale locale;
    // Called before every chunk; false cancels the walk. None: never
    // cancelled.
    std::function<bool()> keepGoing;
};

struct TRiffAnalysis
{
    QStringList lines; // empty when the file does not exist
    bool cancelled = false;
    bool unexpectedEnd = false;
};

// Lists deeper than this are shown but not entered.
constexpr int kRiffAnalysisMaxDepth = 32;
// A report ends with a line that says so when it reaches this many lines;
// the header lists of a real file take a few hundred.
constexpr int kRiffAnalysisMaxLines = 20000;

TRiffAnalysis AnalyseAviFile(const QString &path, const TRiffAnalysisContext &context);

// Prefix, fill repeated n times, title, fill repeated n times, where n is
// (50 - the lengths of prefix and title) / 2, truncated; no fill when n <= 0.
QString RiffBannerLine(const QString &prefix, const QString &fill, const QString &title);

// The report as saved: UTF-8, each line ended by CR LF.
QByteArray RiffReportBytes(const QStringList &lines);

} // namespace vidora
