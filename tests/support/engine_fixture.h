#pragma once

// A headless stage for the command engine: entries that are plain paths, a
// list that keeps them sorted by path, scripted answers, and one event log
// that every handler, list operation and command step writes to. Every entry
// of the log also checks the thread it was written on.
#include "files/commandengine.h"
#include "files/commands.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vidora::test {

inline bool OnGuiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The log shared by the GUI thread and the worker.
class EngineEventLog
{
public:
    // An event that must happen on the GUI thread.
    void Gui(const QString &event) { Add(event, true); }
    // A command step that must run on the worker.
    void Worker(const QString &event) { Add(event, false); }

    std::vector<std::string> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    int WrongThread() const { return m_wrongThread.load(); }

private:
    void Add(const QString &event, bool gui)
    {
        if (OnGuiThread() != gui)
            ++m_wrongThread;
        std::lock_guard lock(m_mutex);
        m_events.push_back(event.toStdString());
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events; // guarded by m_mutex
    std::atomic<int> m_wrongThread{0};
};

class FakeEntry : public IEngineEntry
{
public:
    explicit FakeEntry(QString path) : m_path(std::move(path)) {}
    QString FullPath() const override { return m_path; }
    QString FileName() const override { return QFileInfo(m_path).fileName(); }
    void SetFileName(const QString &path) override { m_path = path; }

private:
    QString m_path;
};

inline QString NameOf(const EngineEntryPtr &entry)
{
    return entry ? entry->FileName() : QStringLiteral("(none)");
}

// A list sorted by path, with a current item, selection and an enabled
// state; each change is logged.
class FakeList : public IEngineList
{
public:
    FakeList(EngineEventLog &log, QString tag) : m_log(log), m_tag(std::move(tag)) {}

    EngineEntryPtr Put(const QString &path, bool selected = false)
    {
        auto entry = std::make_shared<FakeEntry>(path);
        Insert(entry);
        if (selected)
            m_selected.push_back(entry);
        if (!m_current)
            m_current = entry;
        return entry;
    }
    void Clear()
    {
        m_entries.clear();
        m_selected.clear();
        m_current.reset();
    }
    void SetCurrent(const EngineEntryPtr &entry) { m_current = entry; }
    bool IsSelected(const EngineEntryPtr &entry) const
    {
        return std::find(m_selected.begin(), m_selected.end(), entry) != m_selected.end();
    }
    bool Enabled() const { return m_enabled; }
    std::vector<EngineEntryPtr> Entries() const { return m_entries; }
    QStringList Names() const
    {
        QStringList names;
        for (const auto &e : m_entries)
            names << e->FileName();
        return names;
    }

    EngineEntryPtr CurrentEntry() const override { return m_current; }
    std::vector<EngineEntryPtr> SelectedEntries() const override
    {
        std::vector<EngineEntryPtr> result;
        for (const auto &e : m_entries)
            if (IsSelected(e))
                result.push_back(e);
        return result;
    }
    std::vector<EngineEntryPtr> AllEntries() const override { return m_entries; }
    bool Contains(const EngineEntryPtr &entry) const override
    {
        return std::find(m_entries.begin(), m_entries.end(), entry) != m_entries.end();
    }
    void SetSelected(const EngineEntryPtr &entry, bool selected) override
    {
        std::erase(m_selected, entry);
        if (selected && Contains(entry)) {
            m_selected.push_back(entry);
            m_log.Gui(m_tag + " select " + NameOf(entry));
        }
    }
    void DeselectAll() override { m_selected.clear(); }
    void AddEntry(const EngineEntryPtr &entry) override
    {
        m_log.Gui(m_tag + " add " + NameOf(entry));
        Insert(entry);
    }
    void ReplaceEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement) override
    {
        if (!Contains(old))
            return;
        m_log.Gui(m_tag + " replace " + NameOf(old) + " by " + NameOf(replacement));
        const bool wasCurrent = m_current == old;
        RemoveQuietly(old);
        Insert(replacement);
        m_selected.push_back(replacement);
        if (wasCurrent)
            m_current = replacement;
    }
    void ResortEntry(const EngineEntryPtr &entry) override
    {
        if (!Contains(entry))
            return;
        m_log.Gui(m_tag + " resort " + NameOf(entry));
        std::erase(m_entries, entry);
        Insert(entry);
        std::erase(m_selected, entry);
        m_selected.push_back(entry);
    }
    void ReloadEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement) override
    {
        auto at = std::find(m_entries.begin(), m_entries.end(), old);
        if (at == m_entries.end())
            return;
        m_log.Gui(m_tag + " reload " + NameOf(old));
        *at = replacement;
        for (auto &s : m_selected)
            if (s == old)
                s = replacement;
        if (m_current == old)
            m_current = replacement;
    }
    void RemoveEntry(const EngineEntryPtr &entry) override
    {
        if (!Contains(entry))
            return;
        m_log.Gui(m_tag + " remove " + NameOf(entry));
        RemoveQuietly(entry);
    }
    void RefreshActive() override { m_log.Gui(m_tag + " refresh"); }
    void RefreshActiveAndCounts() override { m_log.Gui(m_tag + " refresh+counts"); }
    void SetEnabled(bool enabled) override
    {
        if (enabled != m_enabled)
            m_log.Gui(m_tag + (enabled ? " enabled" : " disabled"));
        m_enabled = enabled;
    }

private:
    void Insert(const EngineEntryPtr &entry)
    {
        auto at = std::lower_bound(m_entries.begin(), m_entries.end(), entry,
                                   [](const EngineEntryPtr &a, const EngineEntryPtr &b) {
                                       return a->FullPath() < b->FullPath();
                                   });
        m_entries.insert(at, entry);
    }
    void RemoveQuietly(const EngineEntryPtr &entry)
    {
        std::erase(m_entries, entry);
        std::erase(m_selected, entry);
        if (m_current == entry)
            m_current = m_entries.empty() ? nullptr : m_entries.front();
    }

    EngineEventLog &m_log;
    QString m_tag;
    std::vector<EngineEntryPtr> m_entries;  // sorted by path
    std::vector<EngineEntryPtr> m_selected; // in the order they were selected
    EngineEntryPtr m_current;
    bool m_enabled = true;
};

// Answers questions from a script; a question beyond the script fails the
// test and answers Cancel.
class ScriptedQuestions : public IEngineQuestions
{
public:
    explicit ScriptedQuestions(EngineEventLog &log) : m_log(log) {}
    void Script(std::initializer_list<TModalResult> answers) { m_answers = answers; }
    std::vector<QString> Texts() const { return m_texts; }

    TModalResult Confirm(const QString &text, bool toAllButtons) override
    {
        m_texts.push_back(text);
        m_log.Gui(QStringLiteral("ask%1").arg(toAllButtons ? " [5 buttons]" : ""));
        if (m_answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return TModalResult::mrCancel;
        }
        const TModalResult answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

private:
    EngineEventLog &m_log;
    std::deque<TModalResult> m_answers;
    std::vector<QString> m_texts;
};

inline QString ErrorTypeName(TErrorType type)
{
    switch (type) {
    case TErrorType::etNoError:
        return QStringLiteral("etNoError");
    case TErrorType::etError:
        return QStringLiteral("etError");
    case TErrorType::etAllError:
        return QStringLiteral("etAllError");
    }
    return {};
}

// An engine wired to a source list, a destination list and scripted answers,
// with every event logged.
class EngineStage : public ::testing::Test
{
protected:
    // How long a run may take before the test counts it as hung.
    static constexpr int kRunTimeoutMs = 20000;

    EngineStage()
    {
        EXPECT_TRUE(m_dir.isValid());
        engine.SourceFichierListbox = &source;
        engine.DestFichierListbox = &dest;
        engine.Questions = &questions;
        engine.SetFichierClass(
            [](const QString &path) { return std::make_shared<FakeEntry>(path); });
        engine.OnStartCommand = [this] { log.Gui("start command"); };
        engine.OnEndCommand = [this] {
            log.Gui("end command");
            m_ended = true;
            if (m_loop != nullptr)
                m_loop->quit();
        };
        engine.OnStartFichier = [this](const EngineEntryPtr &e, const QStringList &, int pass) {
            log.Gui(QStringLiteral("start %1 %2").arg(NameOf(e)).arg(pass));
            if (onStartFile)
                onStartFile(e, pass);
        };
        engine.OnEndFichier = [this](const EngineEntryPtr &e, const QStringList &, int pass) {
            log.Gui(QStringLiteral("end %1 %2").arg(NameOf(e)).arg(pass));
        };
        engine.OnMessageCommand = [this](const QString &text) {
            log.Gui("message " + text);
            if (onMessage)
                onMessage(text);
        };
        engine.OnErrorCommand = [this](const QString &text, TErrorType type) {
            log.Gui("error " + text + " " + ErrorTypeName(type));
        };
        engine.OnStartProgress = [this](int max) {
            log.Gui(QStringLiteral("progress max %1").arg(max));
        };
        engine.OnSetProgress = [this](int pos) { log.Gui(QStringLiteral("progress %1").arg(pos)); };
        engine.OnEndProgress = [this] { log.Gui("progress end"); };
    }

    ~EngineStage() override { EXPECT_EQ(log.WrongThread(), 0) << "an event on the wrong thread"; }

    QString Path(const QString &name) const { return m_dir.filePath(name); }
    void Touch(const QString &name, const QByteArray &bytes = "x") const
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Starts the command and runs the GUI thread's loop until the end of
    // the command is reported; false when nothing started.
    bool RunToEnd(tAbstractCmd &command, const QStringList *params = nullptr)
    {
        m_ended = false;
        if (!engine.Execute(command, params))
            return false;
        if (!m_ended) {
            QEventLoop loop;
            m_loop = &loop;
            QTimer::singleShot(kRunTimeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
            m_loop = nullptr;
        }
        EXPECT_TRUE(m_ended) << "the run did not end within the time-out; last event: "
                             << (log.Events().empty() ? "" : log.Events().back());
        return m_ended;
    }

    // The errors the engine reported during the runs, as logged.
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> errors;
        for (const auto &e : log.Events())
            if (e.rfind("error ", 0) == 0)
                errors.push_back(e);
        return errors;
    }

    // Logs a command step with its entry and pass (on the worker).
    TExecutionEvent LoggingStep()
    {
        return [this](const EngineEntryPtr &e, const QStringList &, TCommandEngine &, int pass) {
            log.Worker(QStringLiteral("exec %1 %2").arg(NameOf(e)).arg(pass));
        };
    }

    QTemporaryDir m_dir;
    EngineEventLog log;
    FakeList source{log, QStringLiteral("src")};
    FakeList dest{log, QStringLiteral("dst")};
    ScriptedQuestions questions{log};
    std::function<void(const EngineEntryPtr &, int)> onStartFile; // on the GUI thread
    std::function<void(const QString &)> onMessage;               // on the GUI thread
    bool m_ended = false;
    QEventLoop *m_loop = nullptr;
    // Last, so it is destroyed (and its worker joined) first.
    TCommandEngine engine;
};

using Events = std::vector<std::string>;

// The log without the selection and enabling lines, for tables that are
// about files, steps and errors.
inline Events FileEvents(const Events &events)
{
    Events kept;
    for (const auto &e : events)
        if (e.rfind("src select", 0) != 0 && e != "src disabled" && e != "src enabled")
            kept.push_back(e);
    return kept;
}

} // namespace vidora::test
