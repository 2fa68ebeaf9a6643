#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#if defined(__SANITIZE_THREAD__)
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <vector>
#endif

namespace vidora::test {

QByteArray readFileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

HostileFiles makeHostileFiles(const QString &folder, const QString &suffix, qint64 hugeBytes)
{
    const QDir dir(folder);
    HostileFiles files{dir.filePath(QStringLiteral("fifo") + suffix),
                       dir.filePath(QStringLiteral("zero") + suffix),
                       dir.filePath(QStringLiteral("huge") + suffix)};
    if (::mkfifo(QFile::encodeName(files.fifo).constData(), 0600) != 0)
        ADD_FAILURE() << "cannot make the FIFO " << files.fifo.toStdString();
    if (!QFile::link(QStringLiteral("/dev/zero"), files.deviceLink))
        ADD_FAILURE() << "cannot link " << files.deviceLink.toStdString();
    QFile huge(files.huge);
    if (!huge.open(QIODevice::WriteOnly) || !huge.resize(hugeBytes))
        ADD_FAILURE() << "cannot make " << files.huge.toStdString();
    return files;
}

void writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
    }
}

#if defined(__SANITIZE_THREAD__)
namespace {

// QProcess starts children with vfork semantics (a clone sharing the
// parent's memory). Under ThreadSanitizer the child then passes through the
// sanitizer's interceptors with the parent's thread state and leaves the
// calling thread with interceptors ignored: its later mutex locks go unseen
// and every access it shares with another thread is reported as a race. A
// plain fork is intercepted and handled, so tools start that way here.
ToolResult runForked(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ToolResult result;
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const auto &a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return result;
    }
    result.started = true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    QByteArray *into[2] = {&result.out, &result.err};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                into[i]->append(buffer, got);
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto &fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!timedOut)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (result.exitCode == 127)
        result.started = false; // not found or not executable
    return result;
}

} // namespace
#endif

ToolResult runTool(const QString &program, const QStringList &arguments, int timeoutMs)
{
#if defined(__SANITIZE_THREAD__)
    return runForked(program, arguments, timeoutMs);
#else
    ToolResult result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
#endif
}

QImage ffmpegFrame(const QString &path, int n, int height)
{
    constexpr int kWidth = 720;
    const ToolResult r = runTool("ffmpeg", {"-v", "error", "-i", path, "-vf",
                                            QStringLiteral("select=eq(n\\,%1)").arg(n), "-vframes",
                                            "1", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    if (height <= 0 || r.out.size() != qsizetype(kWidth) * height * 3)
        return {};
    QImage picture(kWidth, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), r.out.constData() + qsizetype(y) * kWidth * 3, kWidth * 3);
    return picture;
}

bool syncFileData(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

} // namespace vidora::test

namespace vidora::test {

void SeedOfficeProfile(const QString &profileDir)
{
    const ToolResult version = runTool("soffice", {"--version"});
    const QRegularExpressionMatch m =
        QRegularExpression(R"(LibreOffice (\d+\.\d+))").match(QString::fromUtf8(version.out));
    if (!m.hasMatch() || !QDir().mkpath(profileDir + "/user"))
        return;
    writeFileBytes(profileDir + "/user/registrymodifications.xcu",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
                   "xmlns:oor=\"http://openoffice.org/2001/registry\">\n<item "
                   "oor:path=\"/org.openoffice.Setup/Product\"><prop "
                   "oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>" +
                       m.captured(1).toUtf8() + "</value></prop></item>\n</oor:items>\n");
}

} // namespace vidora::test
