#pragma once

// The main window's file commands: each action whose catalogue row names a
// command hands that command of the action module to the command engine,
// with the value its preparation asked for; the engine's events drive the
// status bar, the progress gauge and the error box; the action states follow
// the panels and the list; the abort actions end the opening, the command
// and the running script. The window makes one when it binds its actions;
// it owns the module, the engine and the value dialogs, and lives as long
// as the window's parts it uses.
#include <QObject>
#include <QString>

#include <memory>

class QAction;

namespace vidora {

class Settings;
class TCommandEngine;
class TaviFichier;
class TdmAction;
class TUIForm;
class Tviewdm;
class tAbstractCmd;
enum class TErrorType;
enum class TCmdPreparation;

class CommandActions : public QObject
{
public:
    // Binds the window's command, abort and opening actions and events;
    // `form`, `settings` and `viewdm` outlive it. Throws std::logic_error
    // when a catalogue row names a command the module does not know.
    CommandActions(TUIForm &form, Settings &settings, Tviewdm &viewdm);
    // A worker still running reaches none of the window's handlers: it is
    // aborted and waited for before the module it uses goes.
    ~CommandActions() override;
    CommandActions(const CommandActions &) = delete;
    CommandActions &operator=(const CommandActions &) = delete;

    // The command module and the engine that runs its commands over the
    // list.
    TdmAction &Module() const;
    TCommandEngine &Engine() const;
    // The command of the action module that an action hands to the engine,
    // as its catalogue row names it; none for an action a handler runs.
    tAbstractCmd *CommandOf(const QAction *action) const;
    // Shows and enables every action of the window for the panels shown and
    // the list.
    void UpdateActionStates();
    // The engine's error event: the error box (modal unless a script runs
    // the command).
    void ShowError(const QString &text, TErrorType type);
    // Closing: every command's worker has ended when this returns, unless a
    // question or error box of the command was open (it is closed, and the
    // worker is waited for when this goes).
    void EndForClose();

private:
    struct Parts;

    void Bind();
    void RunCommand(tAbstractCmd &command, QObject *sender, bool withValue);
    // The dialog of a preparation; cancelling clears ExecuteAllowed, an
    // answer goes to ActionParams.
    void Prepare(TCmdPreparation preparation);
    void PrepareCodec(const TaviFichier &active);
    void PrepareFrameRate(const TaviFichier &active);
    void PrepareTimeOffset(const TaviFichier &active);
    void PrepareInterval();
    // The engine's events (GUI thread).
    void StartCommand();
    void EndCommand();
    void StartFile(const std::shared_ptr<TaviFichier> &entry);
    void EndFile(const std::shared_ptr<TaviFichier> &entry);
    void ShowMessage(const QString &text);
    void StartProgress(int maximum);
    void SetProgress(int position);
    void EndProgress();
    // The list's opening events.
    void OpenEnd();
    // Esc and Shift+Esc.
    void AbortCurrent();
    void AbortAll();

    TUIForm &m_form;
    Settings &m_settings;
    Tviewdm &m_viewdm;
    std::unique_ptr<Parts> m_parts;
};

} // namespace vidora
