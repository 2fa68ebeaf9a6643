#pragma once

// The program's actions. Every user command is one action of the main
// window's action list: a menu item, a toolbar button, a key, a command-line
// argument and a script line all end in the same action. An action carries a
// short command-line name (`Switch`) and a long one (`Token`), a preparation
// run before a command started by the user (it opens the command's dialog and
// may cancel), and its command.
//
// A two-state action (`TtoggleAction`) shows in each state what executing it
// will do: its caption, hint, image and command are those of its state, so
// executing it in its false state switches the feature on. Its command sets
// the final state itself (showing the overlay sets the state true); neither
// the menu path nor a run flips the state after or before the command.
//
// Everything here runs on the GUI thread, except that ScriptWaiting may be
// cleared from any thread.
#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace vidora {

// The command or preparation of an action; `sender` is the action itself
// when the user started it, the runner when a run did.
using TActionEvent = std::function<void(QObject *sender)>;

// The value of the running action: while an entry of a command line or
// script executes, exactly one item (the entry's value); empty for an action
// started by menu, button or key. Command handlers read their argument here.
inline QStringList ActionParams;

// Set true before every action; a preparation sets it false to cancel the
// command.
inline bool ExecuteAllowed = true;

// Whether the work an action started (an opening, a command) is still under
// way; a run waits for it before it starts the next entry. The main window
// sets it synchronously when such work starts and clears it when it ends.
// Clearing it wakes the GUI thread's event loop, so a waiting run sees it at
// once even when it is cleared from another thread.
class TScriptWaiting
{
public:
    TScriptWaiting &operator=(bool busy);
    operator bool() const { return m_busy.load(); }

private:
    std::atomic<bool> m_busy{false};
};
inline TScriptWaiting ScriptWaiting;

class TCustomSuperAction : public QAction
{
    Q_OBJECT
public:
    explicit TCustomSuperAction(QObject *parent = nullptr);

    // The short command-line name ("qt", "o", "di"), stored lower-cased.
    QString Switch() const { return m_switch; }
    void setSwitch(const QString &name) { m_switch = name.toLower(); }
    // The long name ("quit", "openfiles"), stored lower-cased.
    QString Token() const { return m_token; }
    void setToken(const QString &name) { m_token = name.toLower(); }

    QString Caption() const { return text(); }
    void setCaption(const QString &caption) { setText(caption); }
    QString Hint() const { return toolTip(); }
    void setHint(const QString &hint);

    // The primary key and the others; Qt is given both (QAction's
    // shortcuts()).
    QKeySequence ShortCut() const { return shortcut(); }
    void setShortCut(const QKeySequence &key);
    QList<QKeySequence> SecondaryShortcuts() const { return m_secondary; }
    void setSecondaryShortcuts(const QList<QKeySequence> &keys);

    // An index into the program's image list; -1 none. OnImageChanged runs
    // after it changed to a new value.
    int imageindex() const { return m_imageIndex; }
    void setImageIndex(int index);
    std::function<void(int imageIndex)> OnImageChanged;

    // Whether the menu path and runs flip `Checked` around the command (a
    // plain action shows a check mark then). Two-state actions ignore it:
    // their command sets the state.
    bool AutoCheck() const { return m_autoCheck; }
    void setAutoCheck(bool autoCheck);

    bool Checked() const { return m_checked; }
    // The two-state action applies its state's caption, hint, image and
    // command here.
    virtual void SetChecked(bool state);

    // The group the action belongs to in the catalogue.
    QString Category;

    // Run before the command when the user starts the action.
    TActionEvent Onprepare;

    // For an action that takes a value from a run (a script or the command
    // line): what is wrong with the value, empty when it is understood. The
    // run tells it on standard error and runs the action as it would have.
    // None: every value is understood.
    std::function<QString(const QString &value)> ValueProblem;

    // The command the action runs now; empty when it has none.
    virtual TActionEvent CommandEvent() const = 0;

    // The user's path (menu, button, key, a double-click in the commands
    // window): false when the action is disabled or its preparation cancels
    // it; otherwise ExecuteAllowed is set, ActionParams emptied, the
    // preparation and then the command run, and the result is whether a
    // command ran.
    virtual bool Execute();

protected:
    // The command step of Execute, after the preparation allowed it.
    virtual bool ExecuteCommand();

private:
    void onTriggered();

    QString m_switch;
    QString m_token;
    QList<QKeySequence> m_secondary;
    int m_imageIndex = -1;
    bool m_autoCheck = false;
    bool m_checked = false;
};

// A plain command.
class TSuperAction : public TCustomSuperAction
{
    Q_OBJECT
public:
    using TCustomSuperAction::TCustomSuperAction;

    TActionEvent Onexecute;

    TActionEvent CommandEvent() const override { return Onexecute; }
};

// A two-state command: its caption, hint, image and command are those of its
// state.
class TtoggleAction : public TCustomSuperAction
{
    Q_OBJECT
public:
    using TCustomSuperAction::TCustomSuperAction;

    QString TrueCaption;
    QString FalseCaption;
    int TrueImageIndex = -1;
    int FalseImageIndex = -1;
    QString TrueHint;
    QString FalseHint;
    TActionEvent OnTrueExecute;
    TActionEvent OnfalseExecute;

    void SetChecked(bool state) override;
    TActionEvent CommandEvent() const override { return m_command; }
    // Re-applies the current state (so the command is that state's), then
    // the user's path of every action.
    bool Execute() override;

protected:
    bool ExecuteCommand() override;

private:
    TActionEvent m_command;
};

// A key that two actions of a catalogue carried: `kept` keeps it, `dropped`
// lost it; `keptPrimary` and `droppedPrimary` tell whether it was that
// action's primary key or one of its secondary keys.
struct ShortcutClash
{
    QKeySequence key;
    TCustomSuperAction *kept = nullptr;
    bool keptPrimary = false;
    TCustomSuperAction *dropped = nullptr;
    bool droppedPrimary = false;

    bool operator==(const ShortcutClash &) const = default;
};

// Gives every key of the catalogue to one action, once, when the catalogue
// is registered: the earlier action in catalogue order wins, whether the key
// is its primary or a secondary one (Ctrl+Q quits, as the first action,
// "Quit", carries it); the losers lose that key. A key an action carries
// twice is kept once. Returns every clash, in catalogue order of the losers.
QList<ShortcutClash> ResolveShortcutClashes(const QList<QAction *> &catalogue);

} // namespace vidora
