// vidora-office: exports one scene list to a spreadsheet or a document
// through a headless LibreOffice of its own.
//
//   vidora-office JOB.json
//
// Exit status 0 when the output file is in place; otherwise 1 (3 when the
// run took longer than the job's time-out, 4 when it was ended by SIGTERM or
// SIGINT) with the reason on the last line of the standard error. The office
// is ended in every case.
#include "documents.h"
#include "exportjob.h"
#include "officesession.h"
#include "trace.h"

#include <com/sun/star/uno/Exception.hpp>

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace {

// Ends the run when the office stops answering (a remote call to a hung
// office never returns, so only killing it, and leaving, ends the wait), and
// when the program that started the helper ends it with SIGTERM or SIGINT
// (the user aborted the export): the office goes at once, with the file it
// was storing. The two signals are blocked in every thread of the helper
// (BlockEndingSignals, before any thread starts) and taken here alone.
class Watchdog
{
public:
    Watchdog(vidora::office::OfficeSession &session, int timeoutMs)
        : m_thread([this, &session, timeoutMs] {
              const auto until =
                  std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
              const sigset_t ending = EndingSignals();
              while (!m_done.load()) {
                  if (std::chrono::steady_clock::now() >= until)
                      End(session, 3,
                          "LibreOffice did not finish the export within " +
                              std::to_string(timeoutMs / 1000) + " s");
                  timespec wait{0, 50'000'000}; // how soon a finished run lets the thread go
                  const int signal = ::sigtimedwait(&ending, nullptr, &wait);
                  if (signal == SIGTERM || signal == SIGINT)
                      End(session, 4, "The export was aborted");
              }
          })
    {}
    ~Watchdog()
    {
        m_done.store(true);
        m_thread.join();
    }

    static sigset_t EndingSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGINT);
        return set;
    }
    static void BlockEndingSignals()
    {
        const sigset_t set = EndingSignals();
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }

private:
    [[noreturn]] static void End(vidora::office::OfficeSession &session, int status,
                                 const std::string &reason)
    {
        session.KillNow();
        const std::string pending = vidora::office::PendingOutput();
        if (!pending.empty()) {
            ::unlink(pending.c_str());
            ::unlink(vidora::office::OfficeLockFileOf(pending).c_str());
        }
        std::fprintf(stderr, "%s\n", reason.c_str());
        std::fflush(stderr);
        ::_exit(status);
    }

    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The UNO runtime keeps its type descriptions and bridges until the process
// ends; they are not ours to free.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

int main(int argc, char **argv)
{
    Watchdog::BlockEndingSignals();
    QCoreApplication app(argc, argv);
    // The office may be gone when the bridge to it writes its last words.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vidora-office JOB.json\n");
        return 2;
    }
    try {
        const vidora::office::ExportJob job =
            vidora::office::ReadJob(QString::fromLocal8Bit(argv[1]));
        // The UNO runtime of the office we start, not of any other install.
        const QString programDir = QFileInfo(job.office).canonicalPath();
        qputenv(
            "URE_BOOTSTRAP",
            ("vnd.sun.star.pathname:" + programDir + QStringLiteral("/fundamentalrc")).toUtf8());
        vidora::office::Trace("job read");
        vidora::office::OfficeSession session(job.office);
        Watchdog watchdog(session, job.timeoutMs);
        session.Start(job.timeoutMs);
        vidora::office::Trace("office reached");
        try {
            vidora::office::ExportScenes(session.Context(), job);
        } catch (...) {
            session.Stop();
            throw;
        }
        session.Stop();
        vidora::office::Trace("office ended");
        return 0;
    } catch (const css::uno::Exception &e) {
        std::fprintf(stderr, "LibreOffice refused the export: %s\n",
                     OUStringToOString(e.Message, RTL_TEXTENCODING_UTF8).getStr());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
