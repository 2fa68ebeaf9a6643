#include "platform/shell/pathroutines.h"

#include <QLocale>

#include <cmath>
#include <cstdint>

namespace vidora {

namespace {

// "/a/b/" -> "/a/b"; the root "/" stays itself.
QString withoutTrailingSeparators(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString ReplacePathPrefix(const QString &path, const QString &oldRoot, const QString &newRoot)
{
    if (path.isEmpty() || oldRoot.isEmpty() || newRoot.isEmpty())
        return path;
    const QString root = withoutTrailingSeparators(oldRoot);
    const QString target = withoutTrailingSeparators(newRoot);
    // The folder of the path keeps its trailing separator, so a root that
    // matches it whole is always followed by a "/" there.
    const QString folder = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (root == QLatin1String("/")) {
        if (!folder.startsWith(QLatin1Char('/')))
            return path;
        return target + (target.endsWith(QLatin1Char('/')) ? path.mid(1) : path);
    }
    if (folder.size() <= root.size() || !folder.startsWith(root) ||
        folder.at(root.size()) != QLatin1Char('/'))
        return path;
    const QString rest = path.mid(root.size()); // begins with "/"
    return (target == QLatin1String("/") ? QString() : target) + rest;
}

QString TrimControlChars(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() < 33)
        ++first;
    while (last > first && text.at(last - 1).unicode() < 33)
        --last;
    return text.mid(first, last - first);
}

int SafeStrToInt(const QString &text)
{
    bool ok = false;
    const int value = TrimControlChars(text).toInt(&ok, 10);
    return ok ? value : 0;
}

double SafeStrToFloat(const QString &text)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(TrimControlChars(text), &ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

QRect CenterInRect(const QRect &control, const QRect &bounds)
{
    QRect result = control;
    result.moveTo(bounds.left() + (bounds.width() - control.width()) / 2,
                  bounds.top() + (bounds.height() - control.height()) / 2);
    return result;
}

std::optional<QRect> FitRectKeepAspect(int w, int h, const QRect &bounds)
{
    if (w < 1 || h < 1)
        return std::nullopt;
    // 64-bit products: picture sizes times screen sizes overflow no int here.
    const std::int64_t bw = bounds.width();
    const std::int64_t bh = bounds.height();
    if (bh * w > bw * h) {
        const auto height = static_cast<int>(bw * h / w);
        const auto top = static_cast<int>(bounds.top() + (bh - height) / 2);
        return QRect(bounds.left(), top, static_cast<int>(bw), height);
    }
    const auto width = static_cast<int>(bh * w / h);
    const auto left = static_cast<int>(bounds.left() + (bw - width) / 2);
    return QRect(left, bounds.top(), width, static_cast<int>(bh));
}

QString ExtractFileBaseName(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace vidora
