#pragma once

// What every window does when it is created: the program's font and the
// scale of a window laid out at one pixel density for a screen of another.
#include <QWidget>

namespace vidora {

// The pixel density the program's windows are laid out for.
inline constexpr int kFormDesignDpi = 96;

// The factor a window laid out at `formDpi` is scaled by on a screen of
// `screenDpi`; 1 when they are equal or either is not positive.
double FormScaleFactor(int screenDpi, int formDpi);

// Gives the window the font "Arial" (its size kept) and, when its screen's
// logical density differs from `formDpi`, scales its size and the geometry of
// every child that no layout places by FormScaleFactor. Layouts place their
// own children; Qt scales fonts by the logical density itself.
void PrepareForm(QWidget *form, int formDpi = kFormDesignDpi);

} // namespace vidora
