#include "settings/scripts.h"

#include "platform/shell/pathroutines.h"
#include "settings/inputfiles.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

namespace vidora {

namespace {

const QString kQuitName = QStringLiteral("quit");

std::uint8_t modeOfPrefix(QChar first)
{
    if (first == QLatin1Char('+'))
        return kModePlus;
    if (first == QLatin1Char('-'))
        return kModeMinus;
    if (first == QLatin1Char('/'))
        return kModeSlash;
    return kModeNoPrefix;
}

TCustomSuperAction *lookUp(const QString &lowerName, const QList<QAction *> &actions)
{
    for (QAction *candidate : actions) {
        auto *action = qobject_cast<TCustomSuperAction *>(candidate);
        if (action == nullptr)
            continue;
        if (action->Switch() == lowerName || action->Token() == lowerName)
            return action;
    }
    return nullptr;
}

// The name and the value of "name=value" (the value empty without "=").
std::pair<QString, QString> splitAtEquals(const QString &text)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0)
        return {text, QString()};
    return {text.left(equals), text.mid(equals + 1)};
}

} // namespace

void TSuperList::Clear()
{
    while (!m_entries.empty())
        m_entries.pop_back();
}

TCustomSuperAction *FindAction(const QString &name, const QList<QAction *> &actions, bool &quit)
{
    const QString lower = name.toLower();
    if (lower == kQuitName) {
        quit = true;
        return nullptr;
    }
    if (lower.isEmpty())
        return nullptr;
    return lookUp(lower, actions);
}

std::optional<TActionEx> ParseArgument(const QString &argument, const QList<QAction *> &actions,
                                       TCustomSuperAction *defaultAction, bool &quit)
{
    if (argument.isEmpty())
        return std::nullopt;
    const auto fileToOpen = [&]() -> std::optional<TActionEx> {
        if (defaultAction == nullptr)
            return std::nullopt;
        return TActionEx{defaultAction, argument, kModeNoPrefix, {}};
    };
    const std::uint8_t mode = modeOfPrefix(argument.front());
    if (mode == kModeNoPrefix)
        return fileToOpen();

    auto [name, value] = splitAtEquals(argument.mid(1));
    name = name.toLower();
    if (mode == kModeSlash) {
        // A path such as /home/u/a.avi is a file, not a switch.
        const bool isSwitch = !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
                              (name == kQuitName || lookUp(name, actions) != nullptr);
        if (!isSwitch)
            return fileToOpen();
    }
    if (name.isEmpty()) {
        if (defaultAction == nullptr)
            return std::nullopt;
        return TActionEx{defaultAction, value, mode, {}};
    }
    TCustomSuperAction *action = FindAction(name, actions, quit);
    if (action == nullptr)
        return std::nullopt;
    return TActionEx{action, value, mode, {}};
}

std::optional<TActionEx> ParseScriptLine(const QString &line, const QList<QAction *> &actions,
                                         bool &quit)
{
    const QString trimmed = TrimControlChars(line);
    if (trimmed.isEmpty())
        return std::nullopt;
    std::uint8_t mode = modeOfPrefix(trimmed.front());
    const auto [name, rawValue] = splitAtEquals(mode == kModeNoPrefix ? trimmed : trimmed.mid(1));
    TCustomSuperAction *action = FindAction(name, actions, quit);
    if (action == nullptr)
        return std::nullopt;
    QString value = rawValue;
    value.remove(QLatin1Char('"'));
    if (mode == kModeNoPrefix && qobject_cast<TtoggleAction *>(action) != nullptr) {
        const QString state = value.toLower();
        if (state == QLatin1String("true"))
            mode = kModePlus;
        else if (state == QLatin1String("false"))
            mode = kModeMinus;
        else if (state == QLatin1String("toggle"))
            mode = kModeSlash;
    }
    return TActionEx{action, value, mode, {}};
}

// ---------------------------------------------------------------- message loop

void QtMessageLoop::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessageLoop::WaitForMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtMessageLoop::Wake()
{
    if (const QCoreApplication *app = QCoreApplication::instance()) {
        if (QAbstractEventDispatcher *dispatcher =
                QAbstractEventDispatcher::instance(app->thread()))
            dispatcher->wakeUp();
    }
}

// ---------------------------------------------------------------- TCustomScript

TCustomScript::TCustomScript(QObject *parent, std::shared_ptr<TMessageLoop> loop)
    : QObject(parent), m_loop(loop ? std::move(loop) : std::make_shared<QtMessageLoop>())
{}

bool TCustomScript::ExecuteFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    const QString identity =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    if (m_running.contains(identity)) {
        TellOnStdErr(QStringLiteral("the script %1 is already running: it is not run again "
                                    "from within itself")
                         .arg(fileName));
        return false;
    }
    if (m_running.size() >= kMaxScriptNesting) {
        TellOnStdErr(QStringLiteral("the script %1 is not run: scripts run scripts more than %2 "
                                    "deep")
                         .arg(fileName)
                         .arg(kMaxScriptNesting));
        return false;
    }
    const TTextRead read = ReadTextFile(fileName, kMaxScriptBytes);
    if (!read.text) {
        TellOnStdErr(QStringLiteral("cannot read the script %1").arg(read.error));
        return false;
    }
    m_running.append(identity);
    struct Ending
    {
        QStringList &running;
        ~Ending() { running.removeLast(); }
    } ending{m_running};
    m_scriptName = fileName;
    ParseScript(*read.text);
    m_scriptName.clear();
    Run();
    m_entries.Clear();
    return true;
}

void TCustomScript::ParseScript(const QString &text)
{
    m_entries.Clear();
    m_quit = false;
    const QString where = m_scriptName.isEmpty() ? QStringLiteral("the script")
                                                 : QStringLiteral("the script ") + m_scriptName;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    // A few lines are told one by one; a text that is mostly not understood
    // does not flood the error stream.
    constexpr int kToldLines = 10;
    int unknown = 0;
    const QStringList lines = text.split(lineBreak);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        bool quit = false;
        if (std::optional<TActionEx> entry = ParseScriptLine(lines.at(i), actionlist, quit)) {
            m_entries.Add(std::move(*entry));
        } else if (!quit && !TrimControlChars(lines.at(i)).isEmpty() && ++unknown <= kToldLines) {
            TellOnStdErr(QStringLiteral("unknown action \"%1\" in line %2 of %3")
                             .arg(TrimControlChars(lines.at(i)).left(200))
                             .arg(i + 1)
                             .arg(where));
        }
        m_quit = m_quit || quit;
    }
    if (unknown > kToldLines)
        TellOnStdErr(QStringLiteral("%1 more lines of %2 name no action")
                         .arg(unknown - kToldLines)
                         .arg(where));
}

void TCustomScript::Stop()
{
    m_stop = true;
    m_loop->Wake();
}

void TCustomScript::Run()
{
    ScriptWaiting = false;
    m_stop = false;
    if (m_entries.Count() == 0)
        return;
    // A copy: a message handled while waiting may parse or clear the list.
    const std::vector<TActionEx> entries = m_entries.entries();
    for (const TActionEx &entry : entries) {
        if (m_stop)
            break;
        ExecuteAllowed = true;
        m_loop->ProcessMessages();
        TCustomSuperAction *action = entry.Action;
        if (action == nullptr || !action->isEnabled())
            continue;
        ActionParams = QStringList{entry.Param} + entry.MoreParams;
        if (action->ValueProblem) {
            for (const QString &value : std::as_const(ActionParams)) {
                const QString problem = action->ValueProblem(value);
                if (!problem.isEmpty())
                    TellOnStdErr(QStringLiteral("%1 (%2) with the value \"%3\": %4")
                                     .arg(action->Switch(), action->Token(), value, problem));
            }
        }
        switch (entry.Mode) {
        case kModePlus:
            action->SetChecked(false);
            break;
        case kModeMinus:
            action->SetChecked(true);
            break;
        case kModeSlash:
            action->SetChecked(action->Checked());
            break;
        default:
            break;
        }
        if (const TActionEvent command = action->CommandEvent())
            command(this);
        // A two-state action's command sets its final state itself.
        if (entry.Action && action->AutoCheck() && qobject_cast<TtoggleAction *>(action) == nullptr)
            action->SetChecked(!action->Checked());
        // The work the action started ends before the next entry starts.
        m_loop->ProcessMessages();
        while (!m_stop && ScriptWaiting)
            m_loop->WaitForMessages();
    }
    if (m_quit && OnCloseMainWindow)
        OnCloseMainWindow();
}

// ---------------------------------------------------------------- TSwitch

TSwitch::TSwitch(QObject *parent, std::shared_ptr<TMessageLoop> loop)
    : TCustomScript(parent, std::move(loop))
{
    Arguments = QCoreApplication::arguments().mid(1);
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive)
                        Activate();
                });
    }
}

void TSwitch::ParseArguments(const QStringList &arguments)
{
    m_entries.Clear();
    m_quit = false;
    std::vector<TActionEx> entries;
    bool lastWasBare = false;
    for (const QString &argument : arguments) {
        bool quit = false;
        std::optional<TActionEx> entry = ParseArgument(argument, actionlist, DefaultAction, quit);
        m_quit = m_quit || quit;
        if (!entry) {
            if (!quit && !argument.isEmpty())
                TellOnStdErr(QStringLiteral("unknown action \"%1\"").arg(argument));
            continue; // dropped arguments do not part the files around them
        }
        const bool bare = entry->Action == DefaultAction && entry->Mode == kModeNoPrefix;
        if (bare && lastWasBare)
            entries.back().MoreParams << entry->Param;
        else
            entries.push_back(std::move(*entry));
        lastWasBare = bare;
    }
    for (TActionEx &entry : entries)
        m_entries.Add(std::move(entry));
}

void TSwitch::Activate()
{
    if (OnActivate)
        OnActivate();
    if (m_activated)
        return;
    m_activated = true;
    ParseArguments(Arguments);
    if (m_entries.Count() > 0)
        Run();
    else if (OnNoCommandLine)
        OnNoCommandLine();
    m_entries.Clear();
}

} // namespace vidora
