#include "settings/superactions.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QHash>
#include <QSignalBlocker>
#include <QThread>

namespace vidora {

TScriptWaiting &TScriptWaiting::operator=(bool busy)
{
    m_busy.store(busy);
    if (!busy) {
        if (const QCoreApplication *app = QCoreApplication::instance()) {
            if (QAbstractEventDispatcher *dispatcher =
                    QAbstractEventDispatcher::instance(app->thread()))
                dispatcher->wakeUp();
        }
    }
    return *this;
}

// ---------------------------------------------------------------- TCustomSuperAction

TCustomSuperAction::TCustomSuperAction(QObject *parent) : QAction(parent)
{
    connect(this, &QAction::triggered, this, &TCustomSuperAction::onTriggered);
}

void TCustomSuperAction::setHint(const QString &hint)
{
    setToolTip(hint);
    setStatusTip(hint);
}

void TCustomSuperAction::setShortCut(const QKeySequence &key)
{
    QList<QKeySequence> keys = m_secondary;
    keys.prepend(key);
    setShortcuts(keys);
}

void TCustomSuperAction::setSecondaryShortcuts(const QList<QKeySequence> &keys)
{
    // Kept apart: QAction's list leaves out an empty primary key.
    m_secondary = keys;
    QList<QKeySequence> all = keys;
    all.prepend(shortcut());
    setShortcuts(all);
}

void TCustomSuperAction::setImageIndex(int index)
{
    if (index == m_imageIndex)
        return;
    m_imageIndex = index;
    if (OnImageChanged)
        OnImageChanged(index);
}

void TCustomSuperAction::setAutoCheck(bool autoCheck)
{
    m_autoCheck = autoCheck;
    // A two-state action shows its state by its caption, never by a check
    // mark that Qt would flip on its own.
    const bool checkMark = autoCheck && qobject_cast<TtoggleAction *>(this) == nullptr;
    setCheckable(checkMark);
    if (checkMark) {
        const QSignalBlocker blocker(this);
        QAction::setChecked(m_checked);
    }
}

void TCustomSuperAction::SetChecked(bool state)
{
    m_checked = state;
    if (isCheckable()) {
        const QSignalBlocker blocker(this);
        QAction::setChecked(state);
    }
}

bool TCustomSuperAction::Execute()
{
    if (!isEnabled())
        return false;
    ExecuteAllowed = true;
    ActionParams.clear();
    if (Onprepare)
        Onprepare(this);
    if (!ExecuteAllowed)
        return false;
    return ExecuteCommand();
}

bool TCustomSuperAction::ExecuteCommand()
{
    if (m_autoCheck)
        SetChecked(!m_checked);
    const TActionEvent command = CommandEvent();
    if (!command)
        return false;
    command(this);
    return true;
}

void TCustomSuperAction::onTriggered()
{
    // Qt has already flipped a checkable action; the flip belongs to
    // Execute, after the preparation allowed the command.
    if (isCheckable()) {
        const QSignalBlocker blocker(this);
        QAction::setChecked(m_checked);
    }
    Execute();
}

// ---------------------------------------------------------------- TtoggleAction

void TtoggleAction::SetChecked(bool state)
{
    setCaption(state ? TrueCaption : FalseCaption);
    setHint(state ? TrueHint : FalseHint);
    setImageIndex(state ? TrueImageIndex : FalseImageIndex);
    m_command = state ? OnTrueExecute : OnfalseExecute;
    TCustomSuperAction::SetChecked(state);
}

bool TtoggleAction::Execute()
{
    SetChecked(Checked());
    return TCustomSuperAction::Execute();
}

bool TtoggleAction::ExecuteCommand()
{
    // The command of the state shown runs and sets the final state itself.
    const TActionEvent command = m_command;
    if (!command)
        return false;
    command(this);
    return true;
}

// ---------------------------------------------------------------- shortcuts

QList<ShortcutClash> ResolveShortcutClashes(const QList<QAction *> &catalogue)
{
    struct Owner
    {
        TCustomSuperAction *action = nullptr;
        bool primary = false;
    };
    QList<TCustomSuperAction *> actions;
    for (QAction *action : catalogue) {
        if (auto *super = qobject_cast<TCustomSuperAction *>(action))
            actions.append(super);
    }

    // The owner of each key: the first action in catalogue order carrying
    // it, as primary or secondary key alike, as a key press finds it.
    QHash<QKeySequence, Owner> owners;
    for (TCustomSuperAction *action : actions) {
        QList<QKeySequence> keys{action->ShortCut()};
        keys << action->SecondaryShortcuts();
        for (int i = 0; i < keys.size(); ++i) {
            if (!keys[i].isEmpty() && !owners.contains(keys[i]))
                owners.insert(keys[i], Owner{action, i == 0});
        }
    }

    QList<ShortcutClash> clashes;
    for (TCustomSuperAction *action : actions) {
        QKeySequence primary = action->ShortCut();
        if (!primary.isEmpty()) {
            const Owner owner = owners.value(primary);
            if (owner.action != action) {
                clashes.append({primary, owner.action, owner.primary, action, true});
                primary = QKeySequence();
            }
        }
        QList<QKeySequence> secondary;
        for (const QKeySequence &key : action->SecondaryShortcuts()) {
            if (key.isEmpty() || key == primary || secondary.contains(key))
                continue;
            const Owner owner = owners.value(key);
            if (owner.action != action) {
                clashes.append({key, owner.action, owner.primary, action, false});
                continue;
            }
            secondary.append(key);
        }
        if (primary != action->ShortCut())
            action->setShortCut(primary);
        if (secondary != action->SecondaryShortcuts())
            action->setSecondaryShortcuts(secondary);
    }
    return clashes;
}

} // namespace vidora
