// vidora-office: exports one scene list to a spreadsheet or a document
// through a headless LibreOffice of its own.
//
//   vidora-office JOB.json
//
// Exit status 0 when the output file is in place; otherwise 1 (or 3 when
// the run took longer than the job's time-out) with the reason on the last
// line of the standard error. The office is ended in every case.
#include "documents.h"
#include "exportjob.h"
#include "officesession.h"
#include "trace.h"

#include <com/sun/star/uno/Exception.hpp>

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// Ends the run when the office stops answering: a remote call to a hung
// office never returns, so only killing it (and leaving) ends the wait.
class Watchdog
{
public:
    Watchdog(vidora::office::OfficeSession &session, int timeoutMs)
        : m_thread([this, &session, timeoutMs] {
              std::unique_lock lock(m_lock);
              if (m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_done; }))
                  return;
              session.KillNow();
              const std::string pending = vidora::office::PendingOutput();
              if (!pending.empty()) {
                  ::unlink(pending.c_str());
                  ::unlink(vidora::office::OfficeLockFileOf(pending).c_str());
              }
              std::fprintf(stderr, "LibreOffice did not finish the export within %d s\n",
                           timeoutMs / 1000);
              std::fflush(stderr);
              ::_exit(3);
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_lock);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false; // guarded by m_lock
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
