#pragma once

// The two runners that turn text into a run of actions: TSwitch for the
// program's command line and TScript for script files. Both parse their text
// into entries (an action, a value and a mode), then run the entries in order
// on the GUI thread, waiting after each one until the work it started has
// ended (ScriptWaiting). The application's message loop is reached through
// TMessageLoop, so a run can be driven by a fake loop.
//
// Names are looked up in the action list in its order, without regard to
// case; switches and tokens share one name space and the first action in
// list order wins a clash. The name "quit" finds no action and sets the
// runner's Quit flag: the main window closes after the last entry of a run
// that has at least one entry.
#include "settings/superactions.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vidora {

// How an entry sets a two-state action before its command runs.
inline constexpr std::uint8_t kModePlus = 0;     // "+": Checked false, the false state's command
inline constexpr std::uint8_t kModeMinus = 1;    // "-": Checked true, the true state's command
inline constexpr std::uint8_t kModeSlash = 2;    // "/": the current state's command
inline constexpr std::uint8_t kModeNoPrefix = 3; // Checked left alone

// One parsed entry of a run.
struct TActionEx
{
    QPointer<TCustomSuperAction> Action; // an action deleted meanwhile is skipped
    QString Param;
    std::uint8_t Mode = kModeNoPrefix;
    // The values of the bare arguments that followed Param on the command
    // line: they run with it, as one action whose ActionParams holds them all.
    QStringList MoreParams;

    bool operator==(const TActionEx &) const = default;
};

// The entries of a run, in order.
class TSuperList
{
public:
    void Add(TActionEx entry) { m_entries.push_back(std::move(entry)); }
    // Frees every entry, from the last to the first.
    void Clear();
    int Count() const { return static_cast<int>(m_entries.size()); }
    const TActionEx &operator[](int index) const
    {
        return m_entries.at(static_cast<std::size_t>(index));
    }
    const std::vector<TActionEx> &entries() const { return m_entries; }

private:
    std::vector<TActionEx> m_entries;
};

// The first action of `actions`, in order, whose Switch or else whose Token
// equals `name` (compared lower-cased); nothing when none does. "quit" finds
// nothing and sets `quit`.
TCustomSuperAction *FindAction(const QString &name, const QList<QAction *> &actions, bool &quit);

// One command-line argument, as the shell handed it over (no quotes are
// removed: the shell has taken off those that were quoting). "+name",
// "-name" and "/name", each optionally followed by "=value", name an action;
// anything else is a value for `defaultAction` (mode 3). An argument that
// starts with "/" is a switch only when its name (the text before "=") is not
// empty, holds no other "/" and names an action or "quit"; otherwise it is a
// file to open ("/home/u/a.avi"). "+=value" gives the value to
// `defaultAction`. Nothing when the name matches no action, for "quit" (which
// sets `quit`) and for an empty argument.
std::optional<TActionEx> ParseArgument(const QString &argument, const QList<QAction *> &actions,
                                       TCustomSuperAction *defaultAction, bool &quit);

// One line of a script: trimmed, then "+name", "-name", "/name" or "name",
// each optionally followed by "=value"; double quotes are removed from the
// value. For a two-state action without prefix, the value "true" runs it as
// "+", "false" as "-" and "toggle" as "/" (letter case aside). Nothing for an
// empty line, a name that matches no action and "quit" (which sets `quit`).
std::optional<TActionEx> ParseScriptLine(const QString &line, const QList<QAction *> &actions,
                                         bool &quit);

// The application's message loop as a run uses it (GUI thread).
class TMessageLoop
{
public:
    virtual ~TMessageLoop() = default;
    // Handles the messages that are pending and returns.
    virtual void ProcessMessages() = 0;
    // Blocks without using the processor until a message arrives or Wake is
    // called, and handles what arrived.
    virtual void WaitForMessages() = 0;
    // Makes a WaitForMessages return; any thread.
    virtual void Wake() = 0;
};

// The loop of the running QCoreApplication.
class QtMessageLoop final : public TMessageLoop
{
public:
    void ProcessMessages() override;
    void WaitForMessages() override;
    void Wake() override;
};

class TCustomScript : public QObject
{
    Q_OBJECT
public:
    // `loop` defaults to the application's own.
    explicit TCustomScript(QObject *parent = nullptr, std::shared_ptr<TMessageLoop> loop = {});

    // The actions the runner can name, in their order; they outlive the runner.
    QList<QAction *> actionlist;
    // What closes the main window after a run whose Quit flag is set.
    std::function<void()> OnCloseMainWindow;

    // Loads the script file and runs it; false (and nothing runs) when the
    // file does not exist or cannot be read: it must be a regular text file of
    // at most kMaxScriptBytes. The text is decoded as DecodeTextFile does. A
    // script that is already running (one that runs itself, directly or
    // through others) is not run again, nor one nested deeper than
    // kMaxScriptNesting. What is refused is told on standard error.
    bool ExecuteFile(const QString &fileName);
    // Parses the script's text, one entry per line (CR LF, CR or LF), into the
    // entry list; clears the Quit flag first. A line whose name matches no
    // action is told on standard error.
    void ParseScript(const QString &text);

    // Runs the entries in order (see the file's notes); the entry list is
    // kept. The Stop flag is cleared at the start.
    void Run();
    // Ends a run: the running entry finishes, no further entry starts.
    void Stop();

    bool QuitRequested() const { return m_quit; }
    const TSuperList &Entries() const { return m_entries; }
    void ClearEntries() { m_entries.Clear(); }

protected:
    TSuperList m_entries;
    bool m_quit = false;

private:
    std::shared_ptr<TMessageLoop> m_loop;
    bool m_stop = false;
    // The scripts whose run is under way, outermost first (canonical paths).
    QStringList m_running;
    // The file being parsed, for the messages; empty for a text.
    QString m_scriptName;
};

// Scripts larger than this are refused rather than read.
inline constexpr qint64 kMaxScriptBytes = 16 * 1024 * 1024;
// Scripts that run scripts nest at most this deep.
inline constexpr int kMaxScriptNesting = 16;

class TScript : public TCustomScript
{
    Q_OBJECT
public:
    using TCustomScript::TCustomScript;
};

// The command line. At the application's first activation it runs
// OnActivate, parses the arguments and runs them, or runs OnNoCommandLine
// when they name nothing; later activations run only OnActivate. Bare
// arguments in a row (files to open) make one entry of DefaultAction, so
// they are opened together.
class TSwitch : public TCustomScript
{
    Q_OBJECT
public:
    // Installs itself as the handler of the application's activation (when
    // the application is a QGuiApplication); the arguments default to the
    // program's own (without the program's name).
    explicit TSwitch(QObject *parent = nullptr, std::shared_ptr<TMessageLoop> loop = {});

    TCustomSuperAction *DefaultAction = nullptr;
    std::function<void()> OnActivate;
    std::function<void()> OnNoCommandLine;
    QStringList Arguments;

    // Parses the arguments into the entry list; clears the Quit flag first.
    // A bare argument that follows another one joins its entry (MoreParams).
    // An argument whose name matches no action is told on standard error.
    void ParseArguments(const QStringList &arguments);
    // The activation handler.
    void Activate();

private:
    bool m_activated = false;
};

} // namespace vidora
