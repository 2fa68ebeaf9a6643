#include "settings/inifile.h"

#include "platform/durablefile.h"
#include "platform/shell/pathroutines.h"
#include "settings/inputfiles.h"
#include "settings/textcodec.h"

#include <QFile>
#include <QLocale>

#include <cmath>
#include <stdexcept>

namespace vidora {

namespace {

[[noreturn]] void throwSaveError(const QString &path, const QString &reason)
{
    throw std::runtime_error(
        QStringLiteral("Cannot write the settings file %1: %2").arg(path, reason).toStdString());
}

// Index of the line `name` inside `section`, or -1.
qsizetype findLine(const QStringList &lines, const QString &section, const QString &name)
{
    QString current;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (IsIniHeader(line)) {
            current = TrimControlChars(line);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals >= 0 && QStringView(line).left(equals) == name && current == section)
            return i;
    }
    return -1;
}

} // namespace

IniLoadResult LoadIniLines(const QString &path)
{
    IniLoadResult result;
    const TFileRead file = ReadRegularFile(path, kMaxIniFileBytes);
    if (file.missing) {
        result.ok = true;
        return result;
    }
    if (!file.bytes) {
        result.error = file.error;
        return result;
    }
    const QByteArray &bytes = *file.bytes;
    const QString text = DecodeText(bytes);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        result.lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        result.lines.append(text.mid(start));
    result.ok = true;
    return result;
}

void SaveIniLines(const QString &path, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    QByteArray bytes("\xFF\xFE", 2);
    bytes.reserve(2 + text.size() * 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    DurableFile file(path);
    if (!file.Open() || !file.Write(bytes) || !file.Commit())
        throwSaveError(path, file.Reason());
}

bool IsIniHeader(const QString &line)
{
    const QString trimmed = TrimControlChars(line);
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

std::optional<QString> IniLookup(const QStringList &lines, const QString &section,
                                 const QString &name)
{
    const qsizetype index = findLine(lines, section, name);
    if (index < 0)
        return std::nullopt;
    const QString &line = lines.at(index);
    return line.mid(line.indexOf(QLatin1Char('=')) + 1);
}

void IniWrite(QStringList &lines, const QString &section, const QString &name, const QString &value)
{
    const QString newLine = name + QLatin1Char('=') + value;
    const qsizetype existing = findLine(lines, section, name);
    if (existing >= 0) {
        lines[existing] = newLine;
        return;
    }
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size() && header < 0; ++i) {
        if (TrimControlChars(lines.at(i)) == section)
            header = i;
    }
    if (header < 0) {
        lines.append(section);
        lines.append(newLine);
        return;
    }
    for (qsizetype i = header + 1; i < lines.size(); ++i) {
        if (IsIniHeader(lines.at(i))) {
            lines.insert(i, newLine);
            return;
        }
    }
    lines.append(newLine);
}

QString FormatIniReal(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> ParseIniReal(const QString &text)
{
    QString number = TrimControlChars(text);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace vidora
