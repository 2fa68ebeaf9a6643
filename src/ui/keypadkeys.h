#pragma once

// Keys of the numeric keypad for a window's actions. An action whose key
// carries the keypad modifier ("Num++", "Ctrl+Num+1") is not found by Qt's
// own shortcut matching under X11: the xcb input reports the key's possible
// combinations without that modifier. The window's key presses are looked at
// here instead: a keypad key that an enabled action of the window holds runs
// that action, once, and goes no further; Qt's matching is told the key is
// taken (so where it would match too, the action does not run twice).
#include <QList>
#include <QObject>

class QAction;
class QWidget;

namespace vidora {

class TKeypadKeys : public QObject
{
public:
    // Watches the key presses of `window` and its children; installed on the
    // application, removed when this object goes.
    TKeypadKeys(QWidget *window, QList<QAction *> actions);
    ~TKeypadKeys() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *ActionFor(const QEvent *event, QObject *watched) const;

    QWidget *m_window;
    QList<QAction *> m_actions;
};

} // namespace vidora
