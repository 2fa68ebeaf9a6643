#pragma once

// Small helpers shared by the tests: whole-file reads and writes, and running
// the independent command-line tools (ffmpeg, ffprobe, mediainfo, exiftool).
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vidora::test {

QByteArray readFileBytes(const QString &path);
// Writes the bytes, replacing the file; fails the current test on error.
void writeFileBytes(const QString &path, const QByteArray &bytes);

struct ToolResult
{
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program found on PATH with the arguments, waiting at most timeoutMs.
ToolResult runTool(const QString &program, const QStringList &arguments, int timeoutMs = 120000);

} // namespace vidora::test
