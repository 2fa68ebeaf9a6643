#include "officesession.h"

#include "trace.h"

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

extern char **environ;

using namespace css;
using ::rtl::OUString;

namespace vidora::office {
namespace {

OUString ToOUString(const QString &text)
{
    return OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()),
                    static_cast<sal_Int32>(text.size()));
}

// The office's own version ("7.4"), from the product key of its bootstrap
// file ("ProductKey=LibreOffice 7.4"), a few lines beside the program.
QString InstalledVersion(const QString &program)
{
    QFile rc(QFileInfo(program).canonicalPath() + QStringLiteral("/bootstraprc"));
    if (!rc.open(QIODevice::ReadOnly))
        return QString();
    static const QRegularExpression key(QStringLiteral(R"(^ProductKey=.*\s([0-9]+\.[0-9.]+)\s*$)"),
                                        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = key.match(QString::fromUtf8(rc.read(4096)));
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace

OfficeSession::OfficeSession(QString program) : m_program(std::move(program))
{
    m_pipeName = QStringLiteral("vidora-office-%1-%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->generate64(), 0, 16);
}

OfficeSession::~OfficeSession()
{
    Stop();
    // The profile goes with the session. Removing its few hundred files
    // takes a while on a busy machine, and nobody waits for it: a process of
    // its own removes them, and the helper ends at once.
    if (!m_profile.isValid())
        return;
    QByteArray path = QFile::encodeName(m_profile.path());
    QByteArray rm = "rm", force = "-rf", end = "--";
    char *argv[] = {rm.data(), force.data(), end.data(), path.data(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const bool detached = posix_spawnp(&pid, "rm", &files, &attr, argv, environ) == 0;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    if (detached) {
        m_profile.setAutoRemove(false);
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(path.toStdString(), error);
}

QString OfficeSession::TemplateFolder() const
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    // The seed's revision is part of the name: a template made from an older
    // seed is not used.
    return cache + QStringLiteral("/vidora-office/profile-") + m_version + QStringLiteral("-2");
}

// Copies the folder's files, leaving out lock files. A profile is some
// hundred small files: they are copied by the kernel (copy_file), not read
// and written through buffers and temporary names.
static bool CopyTree(const QString &from, const QString &to)
{
    namespace fs = std::filesystem;
    const fs::path source(QFile::encodeName(from).toStdString());
    const fs::path target(QFile::encodeName(to).toStdString());
    std::error_code error;
    fs::create_directories(target, error);
    for (fs::recursive_directory_iterator it(source, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename().string().find("lock") != std::string::npos) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path copy = target / it->path().lexically_relative(source);
        if (it->is_directory(error))
            fs::create_directory(copy, error);
        else
            fs::copy_file(it->path(), copy, error);
    }
    return !error;
}

void OfficeSession::KeepAsTemplate()
{
    if (m_fromTemplate || m_version.isEmpty())
        return;
    const QString folder = TemplateFolder();
    if (QFileInfo::exists(folder))
        return;
    // Copied beside, then renamed: a session never sees half a template.
    const QString partial = folder + QStringLiteral(".%1").arg(QCoreApplication::applicationPid());
    if (CopyTree(m_profile.path(), partial) && QDir().rename(partial, folder))
        return;
    QDir(partial).removeRecursively();
}

void OfficeSession::SeedProfile()
{
    m_version = InstalledVersion(m_program);
    const QString version = m_version;
    if (version.isEmpty())
        return;
    const QString templ = TemplateFolder();
    if (QFileInfo::exists(templ + QStringLiteral("/user/registrymodifications.xcu")) &&
        CopyTree(templ, m_profile.path())) {
        m_fromTemplate = true;
        return;
    }
    QDir().mkpath(m_profile.filePath(QStringLiteral("user")));
    QFile file(m_profile.filePath(QStringLiteral("user/registrymodifications.xcu")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QString item = QStringLiteral("<item oor:path=\"%1\"><prop oor:name=\"%2\" "
                                        "oor:op=\"fuse\"><value>%3</value></prop></item>\n");
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
                                 "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                                 "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n");
    xml += item.arg(QStringLiteral("/org.openoffice.Setup/Product"),
                    QStringLiteral("ooSetupLastVersion"), version);
    xml += item.arg(QStringLiteral("/org.openoffice.Office.Common/Misc"),
                    QStringLiteral("FirstRun"), QStringLiteral("false"));
    xml += item.arg(QStringLiteral("/org.openoffice.Office.Common/Save/Document"),
                    QStringLiteral("WarnAlienFormat"), QStringLiteral("false"));
    // The preview picture of the first page costs a layout and a rendering
    // on every store, and nobody here looks at it.
    xml += item.arg(QStringLiteral("/org.openoffice.Office.Common/Save/Document"),
                    QStringLiteral("GenerateThumbnail"), QStringLiteral("false"));
    xml += QStringLiteral("</oor:items>\n");
    file.write(xml.toUtf8());
}

bool OfficeSession::Spawn(QString &error)
{
    const QByteArray program = QFile::encodeName(m_program);
    const QByteArray profile =
        "-env:UserInstallation=" + QUrl::fromLocalFile(m_profile.path()).toEncoded();
    const QByteArray accept =
        "--accept=pipe,name=" + m_pipeName.toUtf8() + ";urp;StarOffice.ComponentContext";
    std::vector<QByteArray> args = {
        program,       profile,       "--headless",    "--invisible",          "--nologo",
        "--norestore", "--nodefault", "--nolockcheck", "--nofirststartwizard", accept};
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own, and the signals the helper keeps for itself
    // (SIGTERM, SIGINT) open again.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    pid_t pid = 0;
    // The office's temporary files go in the session's folder, so that they
    // go with it even when the office is killed.
    const QByteArray temp = QFile::encodeName(m_profile.filePath(QStringLiteral("tmp")));
    QDir().mkpath(m_profile.filePath(QStringLiteral("tmp")));
    std::vector<QByteArray> environment = {"TMPDIR=" + temp};
    for (char **e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "TMPDIR=", 7) != 0)
            environment.emplace_back(*e);
    std::vector<char *> envp;
    for (QByteArray &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int rc = posix_spawn(&pid, program.constData(), &files, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        error = QStringLiteral("%1 could not be started: %2")
                    .arg(m_program, QString::fromLocal8Bit(strerror(rc)));
        return false;
    }
    m_pid = pid;
    return true;
}

void OfficeSession::Start(int timeoutMs)
{
    if (!m_profile.isValid())
        throw std::runtime_error("no temporary folder for the office profile");
    SeedProfile();
    Trace("profile ready");
    QString error;
    if (!Spawn(error))
        throw std::runtime_error(error.toStdString());
    Trace("office started");

    uno::Reference<uno::XComponentContext> local = cppu::defaultBootstrap_InitialComponentContext();
    uno::Reference<bridge::XUnoUrlResolver> resolver = bridge::UnoUrlResolver::create(local);
    Trace("UNO runtime ready");
    const OUString url = ToOUString(
        QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(m_pipeName));
    QElapsedTimer clock;
    clock.start();
    int restarts = 0;
    while (true) {
        try {
            m_remote.set(resolver->resolve(url), uno::UNO_QUERY_THROW);
            return;
        } catch (const connection::NoConnectException &) {
        }
        // An office that exits before accepting: 81 asks for a restart
        // (after it prepared a new profile); anything else is a failure.
        int status = 0;
        const pid_t pid = m_pid;
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
            m_pid = 0;
            if (WIFEXITED(status) && WEXITSTATUS(status) == 81 && restarts++ < 2) {
                if (!Spawn(error))
                    throw std::runtime_error(error.toStdString());
                continue;
            }
            throw std::runtime_error(
                QStringLiteral("LibreOffice (%1) ended before it could be reached (status %2)")
                    .arg(m_program)
                    .arg(WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status))
                    .toStdString());
        }
        if (clock.elapsed() > timeoutMs)
            throw std::runtime_error(QStringLiteral("LibreOffice (%1) did not answer within %2 s")
                                         .arg(m_program)
                                         .arg(timeoutMs / 1000)
                                         .toStdString());
        QThread::msleep(15);
    }
}

bool OfficeSession::WaitExit(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (true) {
        const pid_t pid = m_pid;
        if (pid <= 0)
            return true;
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            m_exitedCleanly = r == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
            m_pid = 0;
            return true;
        }
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(10);
    }
}

void OfficeSession::Stop(int graceMs)
{
    const pid_t pid = m_pid;
    if (pid <= 0)
        return;
    if (m_fromTemplate) {
        // The profile is a copy, thrown away with the session, and the office
        // keeps its temporary files in it: nothing the office would do on its
        // way out (writing the profile, ending its threads) is of use, and
        // the export need not wait for it.
        kill(-pid, SIGKILL);
        WaitExit(2000);
        m_remote.clear();
        m_pid = 0;
        return;
    }
    if (m_remote.is()) {
        try {
            uno::Reference<frame::XDesktop2> desktop = frame::Desktop::create(m_remote);
            desktop->terminate();
        } catch (const uno::Exception &) {
            // the bridge goes down with the office
        }
        m_remote.clear();
    }
    if (!WaitExit(graceMs)) {
        kill(-pid, SIGKILL);
        WaitExit(2000);
    } else if (m_exitedCleanly) {
        KeepAsTemplate();
    }
    // Whatever the office started in its group ends with it.
    kill(-pid, SIGKILL);
    m_pid = 0;
}

void OfficeSession::KillNow()
{
    const pid_t pid = m_pid;
    if (pid > 0)
        kill(-pid, SIGKILL);
}

} // namespace vidora::office
