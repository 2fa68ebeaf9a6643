#include "ui/keypadkeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace vidora {

TKeypadKeys::TKeypadKeys(QWidget *window, QList<QAction *> actions)
    : QObject(window), m_window(window), m_actions(std::move(actions))
{
    qApp->installEventFilter(this);
}

TKeypadKeys::~TKeypadKeys()
{
    qApp->removeEventFilter(this);
}

QAction *TKeypadKeys::ActionFor(const QEvent *event, QObject *watched) const
{
    const auto *key = static_cast<const QKeyEvent *>(event);
    if (!(key->modifiers() & Qt::KeypadModifier) || key->key() == 0 ||
        key->key() == Qt::Key_unknown)
        return nullptr;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr || widget->window() != m_window)
        return nullptr;
    // A text field takes its plain keys (digits, "+", "-"), as it does from
    // Qt's own shortcuts.
    const bool plain =
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && (widget->inherits("QLineEdit") || widget->inherits("QAbstractSpinBox") ||
                  widget->inherits("QTextEdit") || widget->inherits("QPlainTextEdit")))
        return nullptr;
    constexpr Qt::KeyboardModifiers kUsed = Qt::ShiftModifier | Qt::ControlModifier |
                                            Qt::AltModifier | Qt::MetaModifier | Qt::KeypadModifier;
    const QKeySequence pressed(QKeyCombination(key->modifiers() & kUsed, Qt::Key(key->key())));
    for (QAction *action : m_actions) {
        if (action->isEnabled() && action->shortcuts().contains(pressed))
            return action;
    }
    return nullptr;
}

bool TKeypadKeys::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    QAction *action = ActionFor(event, watched);
    if (action == nullptr)
        return false;
    event->accept();
    // The override only claims the key; the press that follows runs it.
    if (type == QEvent::KeyPress)
        action->trigger();
    return true;
}

} // namespace vidora
