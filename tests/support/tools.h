#pragma once

// Small helpers shared by the tests: whole-file reads and writes, a test
// with a temporary folder, and running the independent command-line tools
// (ffmpeg, ffprobe, mediainfo, exiftool).
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vidora::test {

QByteArray readFileBytes(const QString &path);
// Writes the bytes, replacing the file; fails the current test on error.
void writeFileBytes(const QString &path, const QByteArray &bytes);

// A test with a temporary folder of its own, removed after the test.
class TempFolderTest : public ::testing::Test
{
protected:
    // The bytes written as `name` in the folder; the file's path.
    QString write(const QByteArray &bytes, const QString &name = QStringLiteral("f.avi"))
    {
        const QString path = m_dir.filePath(name);
        writeFileBytes(path, bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

// Files that a reader must refuse at once rather than be held up by, made in
// `folder` with `suffix` after their names: a FIFO that nobody writes, a link
// to /dev/zero (endless) and a sparse regular file of `hugeBytes`.
struct HostileFiles
{
    QString fifo;
    QString deviceLink;
    QString huge;
};
HostileFiles makeHostileFiles(const QString &folder, const QString &suffix, qint64 hugeBytes);

struct ToolResult
{
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program found on PATH with the arguments, waiting at most timeoutMs.
ToolResult runTool(const QString &program, const QStringList &arguments, int timeoutMs = 120000);

// ffmpeg's picture of frame `n` (counted from 0) of a DV file: 720 wide,
// `height` rows (576 PAL, 480 NTSC), BGR, top row first. A null picture when
// ffmpeg gives no frame of that size.
QImage ffmpegFrame(const QString &path, int n, int height = 576);

// Writes a file's data through to the disk (fdatasync), as the program's file
// writer does before it gives its output the final name: benchmarks hold a
// peer tool's output to the same durability. False when it cannot.
bool syncFileData(const QString &path);

} // namespace vidora::test

namespace vidora::test {

// Prepares an empty LibreOffice profile folder for `soffice
// -env:UserInstallation=`: the installed version (from `soffice --version`)
// is recorded as the last one run, so that the office skips its first-start
// checks. Nothing is written when the version cannot be read.
void SeedOfficeProfile(const QString &profileDir);

} // namespace vidora::test
