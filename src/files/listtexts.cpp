#include "files/listtexts.h"

#include "files/threadopen.h"
#include "formats/datetime.h"
#include "formats/dsfunctions.h"
#include "platform/durablefile.h"

#include <QDir>

namespace vidora {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kSeparator =
    QStringLiteral("# -------------------------------------------------------------");

// The locale's numbers with group separators ("1,234,567"), which the C
// locale leaves out by default.
QLocale WithGroupSeparators(QLocale locale)
{
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale;
}

QString DvTypeText(const TaviData &data)
{
    if (!data.isDv)
        return QStringLiteral(",");
    if (data.dvType == 1)
        return QStringLiteral(" (type 1),");
    if (data.dvType == 2)
        return data.interleavedType2 ? QStringLiteral(" (type 2 iavs),")
                                     : QStringLiteral(" (type 2),");
    return QStringLiteral(" (atypical),");
}

} // namespace

bool PlayListCanHold(const QString &path)
{
    // Read back as the opener reads it, from a line as it is written.
    const QStringList back = PlayListPaths(QStringLiteral("     ") + path, QStringLiteral("/"));
    return back.size() == 1 && back.first() == QDir::cleanPath(path);
}

QString PlayListLeftOutMessage(const QStringList &leftOut)
{
    // Control characters are shown by their codes, so the message itself
    // shows where a name breaks.
    QStringList shown;
    for (const QString &path : leftOut) {
        QString text;
        for (const QChar c : path)
            text += c.unicode() < 0x20
                        ? QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'))
                        : QString(c);
        shown << QLatin1Char('"') + text + QLatin1Char('"');
    }
    return QStringLiteral("These files were left out of the playlist: their names hold a line "
                          "break or end with blanks, which a playlist line cannot keep.\n") +
           shown.join(QLatin1Char('\n'));
}

QString PlayListText(const TPlayListInfo &info, const QStringList &allPaths, QStringList *leftOut)
{
    QStringList paths;
    for (const QString &path : allPaths) {
        if (PlayListCanHold(path))
            paths << path;
        else if (leftOut)
            *leftOut << path;
    }
    // Only the count's plural is marked, and by a blank: "2 file  sorted  by…".
    const QString s = paths.size() >= 2 ? QStringLiteral(" ") : QString();
    QStringList lines = {
        kSeparator,
        QStringLiteral("#"),
        QStringLiteral("# Playlist of %1").arg(info.programText),
        QStringLiteral("#"),
        kSeparator,
        QStringLiteral("# Visit my website : %1").arg(info.homePage),
        QString(),
    };
    for (const QString &path : paths)
        lines << QStringLiteral("     ") + path;
    lines << QString() << kSeparator
          << QStringLiteral("# ") + QString::number(paths.size()) + QStringLiteral(" file") + s +
                 QStringLiteral(" ") + QStringLiteral("sorted") + s + QStringLiteral(" ") +
                 info.sortMenuText
          << QStringLiteral("# Done on ") + info.doneOn;
    return lines.join(kLineEnd) + kLineEnd;
}

QByteArray Utf16LeWithBom(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(2 + 2 * text.size());
    bytes.append('\xFF').append('\xFE');
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        bytes.append(char(unit & 0xFF)).append(char(unit >> 8));
    }
    return bytes;
}

QString DetailedListLine(const TaviFichier &entry, const QString &datecodeFormat,
                         const QLocale &locale)
{
    const TaviData &data = entry.Data();
    const QString comma = QStringLiteral(",");
    QString line = entry.Path() + comma;
    line += (data.recDateTime > 0 ? FormatDateTime(datecodeFormat, data.recDateTime, locale)
                                  : data.datecodeText) +
            comma;
    line += data.hasScn ? QStringLiteral("scn,") : QStringLiteral("no scn,");
    line += data.hasSrt ? QStringLiteral("srt,") : QStringLiteral("no srt,");
    line += data.timecodeText + comma;
    line += data.codec + DvTypeText(data);
    line += data.pictureText + data.aspectText + comma;
    line += data.videoDurationText;
    if (!data.audioDurationText.isEmpty() && data.audioDurationText != data.videoDurationText)
        line += QStringLiteral(" (") + data.audioDurationText + QStringLiteral(")");
    line += comma;
    if (data.frameRate > 0)
        line += locale.toString(data.frameRate, 'g', 15);
    line += comma;
    line += data.audioText + comma;
    line += data.audioFormatText + comma;
    line += WithGroupSeparators(locale).toString(qlonglong(entry.Size())) + comma;
    line += FormatDateTime(datecodeFormat, entry.LastWriteDate(), locale) + comma;
    if (entry.TimeOffset() > 0)
        line += QStringLiteral("+") + entry.TimeOffsetText();
    else if (entry.TimeOffset() < 0)
        line += entry.TimeOffsetText();
    return line;
}

QString CountsLabelText(int selectedCount, int count, const TSortIndex &order)
{
    return QString::number(selectedCount) + QStringLiteral(" file") +
           (selectedCount >= 2 ? QStringLiteral("s") : QString()) + QStringLiteral(" on ") +
           QString::number(count) + QStringLiteral(" - ") + order.StatusText;
}

QString TotalDurationMessage(std::int64_t selectedDuration, std::int64_t allDuration)
{
    return QStringLiteral("Duration of selected videos  = ") + FormatDurationMs(selectedDuration) +
           QStringLiteral("\r\n\r\n") + QStringLiteral("Total duration of all videos listed = ") +
           FormatDurationMs(allDuration);
}

bool WriteFileCommitted(const QString &path, const QByteArray &bytes, QString &error)
{
    DurableFile file(path);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return true;
    error = QStringLiteral("Cannot write %1: %2").arg(path, file.Reason());
    return false;
}

} // namespace vidora
