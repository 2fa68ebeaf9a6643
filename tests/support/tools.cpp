#include "support/tools.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

void writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
    }
}

// The tools are started with posix_spawn rather than QProcess. QProcess
// starts a child with vfork semantics that runs Qt code, through intercepted
// calls, in the parent's memory until it execs; under ThreadSanitizer that
// leaves the spawning thread's runtime state changed (its locks go unseen
// afterwards and sound code reports races). posix_spawn's child runs only
// the C library's own code before exec.
ToolResult runTool(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ToolResult result;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return result;
    std::vector<QByteArray> argBytes{QFile::encodeName(path)};
    for (const auto &a : arguments)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        return result;
    }
    result.started = true;

    QDeadlineTimer deadline(timeoutMs);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    QByteArray *sinks[2] = {&result.out, &result.err};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        const int left = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
        const int ready = poll(fds, 2, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, got);
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        result.out.clear();
        result.err.clear();
        return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace vidora::test
