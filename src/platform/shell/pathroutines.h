#pragma once

// Small pure routines on paths, numbers in text and rectangles, used all over
// the program. None of them touches the file system.
#include <QRect>
#include <QString>

#include <optional>

namespace vidora {

// Moves `path` from the folder tree `oldRoot` to `newRoot`. The old root
// matches whole path components of the path's folder, case-sensitively
// ("/media/a/Tools" matches "/media/a/Tools/x.avi" and
// "/media/a/Tools/Sub/x.avi", never "/media/a/ToolsX/x.avi"); a trailing "/" on
// either root makes no difference. When any argument is empty or the root does
// not match, the path comes back unchanged.
QString ReplacePathPrefix(const QString &path, const QString &oldRoot, const QString &newRoot);

// The text without the characters below 33 (blanks, tabs, line breaks and
// other control characters) at either end.
QString TrimControlChars(const QString &text);

// The text, with blanks and control characters trimmed at both ends, as a
// decimal int (optional sign); 0 when it is not one or does not fit.
int SafeStrToInt(const QString &text);

// The trimmed text as a finite number written in the default locale's form
// (QLocale(), whose decimal separator decides; group separators are refused);
// 0 when it is not one.
double SafeStrToFloat(const QString &text);

// `control` moved so that it is centred in `bounds`; halves are truncated
// toward zero, as integer division does.
QRect CenterInRect(const QRect &control, const QRect &bounds);

// The largest rectangle of proportions w:h centred in `bounds`, halves
// truncated toward zero; nothing when w or h is below 1.
std::optional<QRect> FitRectKeepAspect(int w, int h, const QRect &bounds);

// The file name of `path` without its folder and without its extension (from
// the last "." of the name on): "/v/clip.take2.avi" -> "clip.take2".
QString ExtractFileBaseName(const QString &path);

} // namespace vidora
