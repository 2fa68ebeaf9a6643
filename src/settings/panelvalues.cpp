#include "settings/panelvalues.h"

#include "platform/shell/pathroutines.h"
#include "settings/superactions.h"

#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vidora {

QString FormatSampleName(const QString &templateText, const QString &dateFormat, DateTimeValue now)
{
    QString name = templateText;
    const auto put = [&name](const char *code, const QString &value) {
        name.replace(QString::fromLatin1(code), value, Qt::CaseInsensitive);
    };
    put("%F", QStringLiteral("video"));
    put("%E", QStringLiteral(".avi"));
    if (name.contains(QStringLiteral("%D"), Qt::CaseInsensitive))
        put("%D", FormatDateTime(dateFormat, now));
    put("%T", QStringLiteral("0.54.32.10"));
    put("%C", QStringLiteral("dvsd"));
    put("%I", QStringLiteral("640x480"));
    put("%A", QStringLiteral("48000Hz 16bits stereo"));
    put("%U", QStringLiteral("30s 12fr"));
    for (QChar &ch : name) {
        if (QStringView(u"<>\"/\\|").contains(ch))
            ch = QLatin1Char('_');
        else if (ch == QLatin1Char(':'))
            ch = QLatin1Char('.');
    }
    return name;
}

std::optional<int> ParseSecondsText(const QString &text)
{
    const QString trimmed = TrimControlChars(text);
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double value = c.toDouble(trimmed, &ok);
    if (!ok)
        value = SafeStrToFloat(trimmed); // the user's locale; 0 when not a number
    if (!std::isfinite(value) || value < 1 || value > std::numeric_limits<int>::max() ||
        value != std::floor(value))
        return std::nullopt;
    return static_cast<int>(value);
}

QString ShortcutText(const QKeySequence &key)
{
    return key.toString(QKeySequence::NativeText);
}

QList<CommandRow> CommandRows(const QList<QAction *> &actions, std::uint8_t column)
{
    struct Keyed
    {
        QString key;
        CommandRow row;
    };
    QList<Keyed> keyed;
    QSet<const QAction *> seen;
    for (QAction *candidate : actions) {
        auto *action = qobject_cast<TCustomSuperAction *>(candidate);
        if (action == nullptr || action->Caption().isEmpty() || seen.contains(action))
            continue;
        seen.insert(action);
        CommandRow row{action, action->Caption(), ShortcutText(action->ShortCut()),
                       action->Switch(), action->Token()};
        const QString captionThenName = row.caption + action->objectName();
        QString key;
        switch (column) {
        case 1:
            key = row.keys + captionThenName;
            break;
        case 2:
            key = row.switchName + captionThenName;
            break;
        case 3:
            key = row.token + captionThenName;
            break;
        default:
            key = captionThenName;
            break;
        }
        keyed.append({key, row});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        return QString::compare(a.key, b.key, Qt::CaseInsensitive) < 0;
    });
    QList<CommandRow> rows;
    rows.reserve(keyed.size());
    for (const Keyed &k : keyed)
        rows.append(k.row);
    return rows;
}

} // namespace vidora
