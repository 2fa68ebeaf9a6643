#pragma once

// A headless LibreOffice of our own for one export: started with a private
// profile in a temporary folder and in a process group of its own, reached
// over a named pipe, and always ended (terminate, then kill of the group).
//
// There's a couple of things this guards against:
// 1. a second office on a shared profile hands its work to the first and
//    exits 0, so every session has its own profile and pipe name;
// 2. a stopped or hung office blocks remote calls for ever, so the caller
//    keeps a watchdog (KillNow may be called from another thread);
// 3. a fresh profile runs the graphics self-test on first start (seconds),
//    so the profile is seeded with the installed version as the last one run;
// 4. a new profile makes the office exit once and ask to be started again
//    (status 81), so after a clean run the profile is kept as a template in
//    the user's cache folder, and later sessions start from a copy of it.
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

#include <atomic>

namespace vidora::office {

class OfficeSession
{
public:
    // `program` is soffice.bin (or soffice); nothing is started yet.
    explicit OfficeSession(QString program);
    ~OfficeSession(); // Stop()
    OfficeSession(const OfficeSession &) = delete;
    OfficeSession &operator=(const OfficeSession &) = delete;

    // Starts the office and connects to it; throws std::runtime_error with
    // the reason when it cannot within `timeoutMs`.
    void Start(int timeoutMs);
    // The office's component context (valid after Start).
    css::uno::Reference<css::uno::XComponentContext> Context() const { return m_remote; }

    // Asks the office to end, waits up to `graceMs`, then kills its group.
    void Stop(int graceMs = 5000);
    // Kills the office's process group at once; async-signal-safe enough for
    // a watchdog thread (kill only).
    void KillNow();

private:
    bool Spawn(QString &error);
    void SeedProfile();
    // The cache folder of profile templates for this office version.
    QString TemplateFolder() const;
    void KeepAsTemplate();
    bool WaitExit(int ms);

    QString m_program;
    QTemporaryDir m_profile;
    QString m_pipeName;
    QString m_version;            // "7.4"; empty when unknown
    bool m_fromTemplate = false;  // the profile is a copy of the template
    bool m_exitedCleanly = false; // the office ended with status 0
    std::atomic<pid_t> m_pid{0};
    css::uno::Reference<css::uno::XComponentContext> m_remote;
};

} // namespace vidora::office
