#include "scenes/edittitres.h"

#include "formats/datetime.h"
#include "formats/dsfunctions.h"
#include "formats/rounding.h"
#include "platform/shell/pathroutines.h"

#include <cmath>

namespace vidora {
namespace {

struct DurationParts
{
    std::int64_t h, m, c, f;
};

bool SplitDuration(std::int64_t frames, double fps, DurationParts &parts)
{
    if (!std::isfinite(fps) || !(fps > 0))
        return false;
    const auto s = static_cast<std::int64_t>(std::trunc(static_cast<double>(frames) / fps));
    parts.f = roundHalfEven(static_cast<double>(frames) - static_cast<double>(s) * fps);
    parts.h = s / 3600;
    parts.m = (s / 60) % 60;
    parts.c = s % 60;
    return true;
}

QString Folder(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString Extension(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

bool IsWordEdge(const QString &text, qsizetype at)
{
    if (at < 0 || at >= text.size())
        return true;
    const QChar c = text.at(at);
    return c.isSpace() || c.isPunct() || c.isSymbol();
}

// Every occurrence of `word` that stands as a whole word (start, end, blank
// or punctuation on both sides) replaced by `by`.
QString ReplaceWholeWord(QString text, const QString &word, const QString &by)
{
    if (word.isEmpty())
        return text;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(word, from, Qt::CaseInsensitive);
        if (at < 0)
            return text;
        if (IsWordEdge(text, at - 1) && IsWordEdge(text, at + word.size())) {
            text.replace(at, word.size(), by);
            from = at + by.size();
        } else {
            from = at + 1;
        }
    }
}

void ReplaceValue(QString &text, const QString &value, const QString &code)
{
    if (!value.isEmpty())
        text.replace(value, code, Qt::CaseInsensitive);
}

} // namespace

QString FormatDurationDotted(std::int64_t frames, double fps)
{
    DurationParts p{};
    if (!SplitDuration(frames, fps, p))
        return QStringLiteral("??");
    const auto ll = [](std::int64_t v) { return static_cast<long long>(v); };
    if (p.h >= 1)
        return QString::asprintf("%lld:%.2lld:%.2lld.%.2lld", ll(p.h), ll(p.m), ll(p.c), ll(p.f));
    if (p.m == 0)
        return QString::asprintf("%.2lld.%.2lld", ll(p.c), ll(p.f));
    return QString::asprintf("%.2lld:%.2lld.%.2lld", ll(p.m), ll(p.c), ll(p.f));
}

QString FormatDurationHMSF(std::int64_t frames, double fps)
{
    DurationParts p{};
    if (!SplitDuration(frames, fps, p))
        return QStringLiteral("??");
    const auto ll = [](std::int64_t v) { return static_cast<long long>(v); };
    if (p.h >= 1)
        return QString::asprintf("%lldh %.2lldmn %.2llds %.2lldfr", ll(p.h), ll(p.m), ll(p.c),
                                 ll(p.f));
    if (p.m >= 1)
        return QString::asprintf("%lldmn %.2llds %.2lldfr", ll(p.m), ll(p.c), ll(p.f));
    if (p.c >= 1)
        return QString::asprintf("%llds %.2lldfr", ll(p.c), ll(p.f));
    return QString::number(p.f) + QStringLiteral("fr");
}

QString FormatDuration(std::int64_t frames, const TSceneContext &context)
{
    if (!context.video)
        return QString();
    const double fps = context.video->frameRate;
    switch (context.durationFormat) {
    case kDurationDotted:
        return FormatDurationDotted(frames, fps);
    case kDurationClock:
        return FrameToTimecodeText(frames, fps);
    case kDurationHMSF:
        return FormatDurationHMSF(frames, fps);
    default:
        return QString();
    }
}

QString ExpandTitleTemplate(const QString &lineTemplate, const TSceneClass &scene,
                            const TSceneContext &context)
{
    if (!context.video)
        return lineTemplate;
    const TSceneVideo &v = *context.video;
    const std::pair<const char *, QString> codes[] = {
        {"%N", QString::number(scene.Number)},
        {"%F", ExtractFileBaseName(v.path)},
        {"%P", Folder(v.path)},
        {"%E", Extension(v.path)},
        {"%D", scene.DatecodeText},
        {"%T", scene.TimecodeText},
        {"%C", v.codec},
        {"%I", v.pictureText + v.aspectText},
        {"%A", v.audioText},
        {"%U", FormatDuration(scene.Length(), context)},
    };
    QString text = lineTemplate;
    for (const auto &[code, value] : codes)
        text.replace(QLatin1String(code), value, Qt::CaseInsensitive);
    return text;
}

QString TitleToTemplate(const QString &title, const TSceneClass *scene,
                        const TSceneContext &context)
{
    if (!scene || !context.video)
        return title;
    const TSceneVideo &v = *context.video;
    const QString number = QString::number(scene->Number);
    QString text = ReplaceWholeWord(title, number, QStringLiteral("%N"));
    text = ReplaceWholeWord(text, kSceneWord + number, kSceneWord + QStringLiteral("%N"));

    const std::int64_t length = scene->Length();
    ReplaceValue(text, FormatDurationDotted(length, v.frameRate), QStringLiteral("%U"));
    ReplaceValue(text, FrameToTimecodeText(length, v.frameRate), QStringLiteral("%U"));
    ReplaceValue(text, FormatDurationHMSF(length, v.frameRate), QStringLiteral("%U"));

    ReplaceValue(text, scene->DatecodeText, QStringLiteral("%D"));
    for (const char *pattern : {"ddddd tt", "dddddd tt"}) {
        try {
            ReplaceValue(text,
                         FormatDateTime(QLatin1String(pattern), scene->RecDate, context.locale),
                         QStringLiteral("%D"));
        } catch (const std::exception &) {
            // a date outside the calendar replaces nothing
        }
    }

    ReplaceValue(text, ExtractFileBaseName(v.path), QStringLiteral("%F"));
    ReplaceValue(text, Folder(v.path), QStringLiteral("%P"));
    ReplaceValue(text, Extension(v.path), QStringLiteral("%E"));
    ReplaceValue(text, scene->TimecodeText, QStringLiteral("%T"));
    ReplaceValue(text, v.codec, QStringLiteral("%C"));
    ReplaceValue(text, v.pictureText + v.aspectText, QStringLiteral("%I"));
    ReplaceValue(text, v.audioText, QStringLiteral("%A"));
    return text;
}

} // namespace vidora
