// The real program on a real X display (run under xvfb-run by the
// "mainwindow_x11" test, which names the program in VIDORA_EXE): it starts
// with a temporary home, shows its main window, which is photographed, and
// ends cleanly when asked to; a DV file on its command line replaces the
// empty-list help with the list and the video; a command line converts a file
// and quits; a script named on the command line runs each line after the work
// of the one before, also past a missing file and a failing command, and
// quits; a script that is a FIFO or runs itself is refused and the program
// still ends; closing while a command runs ends it and leaves no output; a list
// kept at close comes back at the next start; keys pressed on the keyboard
// (xdotool) reach their actions: the keypad's volume keys, and Ctrl+Q, which
// quits; "+h" shows the AVI analyser on the opened file; Quit and SIGTERM end
// the program whatever other window or question is open, and SIGTERM waits for
// no answer when no settings store is chosen. Each case has a home (and
// settings) of its own.
#include "dvclipfile.h"
#include "settings/settings.h"
#include "support/isolatedhome.h"
#include "support/tools.h"
#include "ui/displaylayout.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sys/stat.h>

using namespace vidora;

namespace {

const QString kCaption = QStringLiteral("Vidora 7.0.5 En by Vesk Tobrek");

QString ProgramPath()
{
    return qEnvironmentVariable("VIDORA_EXE");
}

QString Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The place on the screen of the window titled `caption`, once it has been
// shown (the name follows the window's number, and the class, which Qt's
// own hidden windows lack, comes after it).
std::optional<QRect> FindWindow(const QString &caption)
{
    const QString tree =
        Run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    const QRegularExpression line(
        QStringLiteral("\"") + QRegularExpression::escape(caption) +
        QStringLiteral("\": \\(\".*\\s(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"));
    const QRegularExpressionMatch match = line.match(tree);
    if (!match.hasMatch())
        return std::nullopt;
    return QRect(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(1).toInt(),
                 match.captured(2).toInt());
}

std::optional<QRect> FindMainWindow()
{
    return FindWindow(kCaption);
}

// These cases start the real program on a real display; without either
// they are skipped.
bool CanRun(std::string &why)
{
    if (ProgramPath().isEmpty())
        why = "runs under xvfb-run as the mainwindow_x11 test";
    else if (qEnvironmentVariableIsEmpty("DISPLAY"))
        why = "needs an X display";
    return why.empty();
}

#define SKIP_WITHOUT_DISPLAY()                                                                     \
    do {                                                                                           \
        std::string why;                                                                           \
        if (!CanRun(why))                                                                          \
            GTEST_SKIP() << why;                                                                   \
    } while (false)

// A picture of the whole display, taken by ffmpeg.
QImage Screenshot(const QString &path)
{
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                       QStringLiteral("-f"), QStringLiteral("x11grab"), QStringLiteral("-i"),
                       qEnvironmentVariable("DISPLAY"), QStringLiteral("-frames:v"),
                       QStringLiteral("1"), path});
    return QImage(path);
}

// How many pixels of the band are dark (text, lines).
int DarkPixels(const QImage &image, const QRect &band)
{
    int dark = 0;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            if (qGray(image.pixel(x, y)) < 96)
                ++dark;
    return dark;
}

// Stores the settings the way the program does, so closing asks nothing;
// `change` runs on them before they are stored.
void StoreSettings(const QString &program, const std::function<void(Settings &)> &change = {})
{
    SettingsEnvironment environment = SettingsEnvironment::forRunningProgram();
    environment.programFilePath = program;
    environment.programFolder = QFileInfo(program).absolutePath() + u'/';
    Settings settings(environment);
    settings.PreferencesMode = kPreferencesRegistry;
    if (change)
        change(settings);
    settings.SavePreferences();
}

struct Started
{
    QProcess process;
    QRect window;
    QImage picture; // the window only
    QString path;
};

void StartAndPhotograph(Started &run, const QStringList &arguments, const QString &name)
{
    run.process.setProcessChannelMode(QProcess::ForwardedChannels);
    run.process.start(ProgramPath(), arguments);
    ASSERT_TRUE(run.process.waitForStarted());
    std::optional<QRect> window;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (window = FindMainWindow()).has_value(); }, 30000));
    QTest::qWait(2500); // laid out, painted, the file opened and previewed
    window = FindMainWindow();
    ASSERT_TRUE(window.has_value());
    run.window = *window;
    const QString dir = qEnvironmentVariable("VIDORA_SCREENSHOT_DIR", QDir::tempPath());
    const QImage screen =
        Screenshot(dir + QStringLiteral("/screen_") + name + QStringLiteral(".png"));
    ASSERT_FALSE(screen.isNull());
    run.picture = screen.copy(run.window);
    run.path = dir + QStringLiteral("/mainwindow_") + name + QStringLiteral(".png");
    ASSERT_TRUE(run.picture.save(run.path));
    std::printf("main window screenshot: %s\n", qPrintable(run.path));
}

void CloseCleanly(Started &run)
{
    run.process.terminate();
    ASSERT_TRUE(run.process.waitForFinished(30000));
    EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.process.exitCode(), 0);
}

} // namespace

TEST(MainWindowProcess, StartsWithTheEmptyListHelpAndClosesCleanly)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    Started run;
    StartAndPhotograph(run, {}, QStringLiteral("empty"));
    // The empty list's narrow window.
    EXPECT_EQ(run.window.size(), kNarrowSize);
    // The menu bar's titles along the top, the help text below the toolbars
    // and the list's label, and an empty area under the help text.
    EXPECT_GT(DarkPixels(run.picture, QRect(0, 2, run.window.width(), 16)), 150);
    EXPECT_GT(DarkPixels(run.picture, QRect(0, 80, run.window.width(), 160)), 1000);
    EXPECT_EQ(DarkPixels(run.picture, QRect(0, 300, run.window.width(), 150)), 0);
    CloseCleanly(run);
    // Closing saved the settings.
    EXPECT_TRUE(QFile::exists(home.configHome() + QStringLiteral("/Vesk Tobrek/Vidora.conf")));
}

TEST(MainWindowProcess, ADvFileOnTheCommandLineIsListedAndShown)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QTemporaryDir dir;
    const QString path = test::WriteDvClip(dir.path());
    ASSERT_FALSE(path.isEmpty());
    Started run;
    StartAndPhotograph(run, {path}, QStringLiteral("one_file"));
    // The help text is gone: the area under it now holds the list, the
    // video and the information frame.
    EXPECT_GT(DarkPixels(run.picture, QRect(0, 300, run.window.width(), 150)), 100);
    CloseCleanly(run);
}

namespace {

// A DV type-1 clip of `frames` frames: dir/clip.avi.
QString WriteLongClip(const QString &dir, int frames)
{
    const QByteArray raw = test::ffmpegRawDv(dir, test::DvClip{.frames = frames});
    const QString path = dir + QStringLiteral("/clip.avi");
    QFile file(path);
    if (raw.isEmpty() || !file.open(QIODevice::WriteOnly) ||
        file.write(test::dvType1Avi(raw)) <= 0) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return QString();
    }
    return path;
}

QStringList HiddenFiles(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
}

} // namespace

TEST(MainWindowProcess, ACommandLineConvertsTheOpenedFileAndQuits)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QTemporaryDir dir;
    const QString path = test::WriteDvClip(dir.path());
    ASSERT_FALSE(path.isEmpty());
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(ProgramPath(), {QStringLiteral("+so"), QStringLiteral("+o=") + path,
                                  QStringLiteral("+2"), QStringLiteral("+quit")});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(process.waitForFinished(120000)) << "the program did not end by itself";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QString output = dir.filePath(QStringLiteral("clip_type2.avi"));
    const QString streams =
        ::Run(QStringLiteral("ffprobe"),
              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
               QStringLiteral("stream=codec_type"), QStringLiteral("-of"),
               QStringLiteral("csv=p=0"), output})
            .trimmed();
    EXPECT_EQ(streams, QStringLiteral("video\naudio")) << output.toStdString();
}

namespace {

// What ffprobe reads of `entries` in the file, one line per stream.
QString Probe(const QString &path, const QString &entries)
{
    return ::Run(QStringLiteral("ffprobe"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                  QStringLiteral("-show_entries"), entries, QStringLiteral("-of"),
                  QStringLiteral("csv=p=0"), path})
        .trimmed();
}

// Writes the script's lines (CR LF) to dir/run.txt and returns its path.
QString WriteScript(const QString &dir, const QStringList &lines)
{
    const QString path = dir + QStringLiteral("/run.txt");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8()) <= 0) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return QString();
    }
    return path;
}

// Starts the program with the script on its command line ("+os=") and waits
// for it to end by itself; false when it did not within `ms`.
bool RunScript(QProcess &process, const QString &script, int ms)
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(ProgramPath(), {QStringLiteral("+os=") + script});
    if (!process.waitForStarted())
        return false;
    if (process.waitForFinished(ms))
        return true;
    process.kill();
    process.waitForFinished(30000);
    return false;
}

} // namespace

TEST(MainWindowProcess, AScriptRunsEachLineAfterThePreviousWorkEndedAndQuits)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    // Subtitles on every frame.
    StoreSettings(ProgramPath(), [](Settings &s) { s.Incrust.When = 0; });
    QTemporaryDir dir;
    // Long enough that the conversion is still under way when a line that
    // did not wait would start.
    const QString path = WriteLongClip(dir.path(), 100);
    ASSERT_FALSE(path.isEmpty());
    const QString script =
        WriteScript(dir.path(), {QStringLiteral("selectwhenopen=true"),
                                 QStringLiteral("openfiles=") + path, QStringLiteral("convert16x9"),
                                 QStringLiteral("createsrt"), QStringLiteral("quit")});
    ASSERT_FALSE(script.isEmpty());
    QProcess process;
    ASSERT_TRUE(RunScript(process, script, 120000)) << "the program did not end by itself";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);

    // The conversion found the opened file selected, and ended before the
    // subtitles were made from that same file (the converted copy is added
    // to the list unselected); the program quit after both were complete.
    const QString wide = dir.filePath(QStringLiteral("clip_16x9.avi"));
    const QString srt = dir.filePath(QStringLiteral("clip.srt"));
    EXPECT_EQ(Probe(wide, QStringLiteral("stream=codec_type,display_aspect_ratio")),
              QStringLiteral("video,16:9\naudio"));
    EXPECT_EQ(Probe(wide, QStringLiteral("stream=nb_read_packets")).section(u'\n', 0, 0),
              QStringLiteral("100"));
    const QStringList subtitles =
        Probe(srt, QStringLiteral("stream=codec_name,nb_read_packets")).split(u',');
    ASSERT_EQ(subtitles.size(), 2) << srt.toStdString();
    EXPECT_EQ(subtitles[0], QStringLiteral("subrip"));
    EXPECT_GT(subtitles[1].toInt(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("clip_16x9.srt"))));
    EXPECT_LE(QFileInfo(wide).lastModified(), QFileInfo(srt).lastModified());
    EXPECT_EQ(HiddenFiles(dir.path()), QStringList());
}

// An NTSC file of 63 frames cut every second by a script: scenes of 30, 30
// and 3 frames, each piece starting on its scene's first frame (the same DV
// frame, packs and all, as ffmpeg reads them) and the pieces adding up to
// the source.
TEST(MainWindowProcess, AScriptCutsAnNtscFileEverySecondIntoWholeFrames)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QTemporaryDir dir;
    const QByteArray raw = test::ffmpegRawDv(dir.path(), test::DvClip{.ntsc = true, .frames = 63});
    ASSERT_EQ(raw.size(), 63 * 120000);
    const QString path = dir.filePath(QStringLiteral("ntsc.avi"));
    test::writeFileBytes(path, test::dvType1Avi(raw));
    const QString script = WriteScript(
        dir.path(), {QStringLiteral("selectwhenopen=true"), QStringLiteral("openfiles=") + path,
                     QStringLiteral("createscnbyinterval=1"), QStringLiteral("cutscenes"),
                     QStringLiteral("quit")});
    ASSERT_FALSE(script.isEmpty());
    QProcess process;
    ASSERT_TRUE(RunScript(process, script, 180000)) << "the program did not end by itself";
    EXPECT_EQ(process.exitCode(), 0);

    const auto firstFrame = [](const QString &file) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                      QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-frames:v"),
                      QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("copy"),
                      QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-")});
        ffmpeg.waitForFinished(60000);
        return ffmpeg.readAllStandardOutput();
    };
    const int starts[] = {0, 30, 60};
    const int lengths[] = {30, 30, 3};
    int total = 0;
    for (int k = 0; k < 3; ++k) {
        const QString part = dir.filePath(QStringLiteral("ntsc_scene_%1.avi").arg(k + 1));
        SCOPED_TRACE(part.toStdString());
        const int frames =
            Probe(part, QStringLiteral("stream=nb_read_packets")).section(u'\n', 0, 0).toInt();
        EXPECT_EQ(frames, lengths[k]);
        total += frames;
        // The subcode and VAUX blocks (1 to 5 of each of the 10 DIF
        // sequences): the time code and recording date packs of the frame.
        const auto packs = [](const QByteArray &frame) {
            QByteArray blocks;
            for (int seq = 0; seq < 10 && frame.size() == 120000; ++seq)
                blocks += frame.mid(seq * 12000 + 80, 5 * 80);
            return blocks;
        };
        const QByteArray first = firstFrame(part);
        EXPECT_FALSE(packs(first).isEmpty());
        EXPECT_TRUE(packs(first) == packs(raw.mid(qsizetype(starts[k]) * 120000, 120000)))
            << "the piece does not start on frame " << starts[k];
    }
    EXPECT_EQ(total, 63);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("ntsc_scene_4.avi"))));
}

TEST(MainWindowProcess, AScriptGoesOnPastAMissingFileAndAFailingCommandAndQuits)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    // No output can be written in the save folder: the conversion fails.
    StoreSettings(ProgramPath(), [](Settings &s) {
        s.SaveInSameFolder = false;
        s.SaveFolder = QStringLiteral("/proc/");
    });
    QTemporaryDir dir;
    const QString path = test::WriteDvClip(dir.path());
    ASSERT_FALSE(path.isEmpty());
    const QString script = WriteScript(
        dir.path(), {QStringLiteral("selectwhenopen=true"),
                     QStringLiteral("openfiles=") + dir.filePath(QStringLiteral("missing.avi")),
                     QStringLiteral("openfiles=") + path, QStringLiteral("convert16x9"),
                     QStringLiteral("createsrt"), QStringLiteral("quit")});
    ASSERT_FALSE(script.isEmpty());
    QProcess process;
    ASSERT_TRUE(RunScript(process, script, 60000))
        << "the script waited for ever after the failing command";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    // The line after the failing one ran; the failure left nothing behind.
    EXPECT_EQ(Probe(dir.filePath(QStringLiteral("clip.srt")), QStringLiteral("stream=codec_name")),
              QStringLiteral("subrip"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("clip_16x9.avi"))));
    EXPECT_EQ(HiddenFiles(dir.path()), QStringList());
}

// A FIFO named as the script no longer holds the GUI thread, and a script
// that runs itself is refused where it would run again: each time the run
// goes on, says why on standard error, and the program ends by itself when
// the run asks it to, or when it is asked to end.
TEST(MainWindowProcess, AFifoOrAScriptThatRunsItselfIsRefusedAndTheProgramEnds)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString self = dir.filePath(QStringLiteral("self.txt"));
    QFile selfFile(self);
    ASSERT_TRUE(selfFile.open(QIODevice::WriteOnly));
    selfFile.write((QStringLiteral("os=") + self + QStringLiteral("\r\nquit\r\n")).toUtf8());
    selfFile.close();

    struct Case
    {
        QStringList arguments;
        QString told;
    };
    const Case cases[] = {
        {{QStringLiteral("+os=") + fifo, QStringLiteral("+quit")},
         QStringLiteral("vidora: cannot read the script %1: it is not a regular file").arg(fifo)},
        {{QStringLiteral("+os=") + self},
         QStringLiteral("vidora: the script %1 is already running").arg(self)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QProcess process;
        process.start(ProgramPath(), c.arguments);
        ASSERT_TRUE(process.waitForStarted());
        const bool ended = process.waitForFinished(60000);
        if (!ended) {
            process.kill();
            process.waitForFinished(30000);
        }
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        ASSERT_TRUE(ended) << "the program did not end by itself: " << err.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(err.contains(c.told)) << err.toStdString();
    }

    // Without "quit", the window stays, free to answer: asked to end, it ends.
    QProcess process;
    process.start(ProgramPath(), {QStringLiteral("+os=") + fifo});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([] { return FindMainWindow().has_value(); }, 30000));
    QTest::qWait(1000);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000)) << "the FIFO held the program";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError())
                    .contains(QStringLiteral("vidora: cannot read the script %1").arg(fifo)));
}

TEST(MainWindowProcess, ClosingDuringACommandEndsItsWorkerAndLeavesNoOutput)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QTemporaryDir dir;
    // Long enough that burning the date into every frame is still under way.
    const QString path = WriteLongClip(dir.path(), 750);
    ASSERT_FALSE(path.isEmpty());
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(ProgramPath(),
                  {QStringLiteral("+so"), QStringLiteral("+o=") + path, QStringLiteral("+i")});
    ASSERT_TRUE(process.waitForStarted());
    // The command writes its output under a hidden name until it completes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !HiddenFiles(dir.path()).isEmpty(); }, 60000));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("clip_in.avi"))));
    EXPECT_EQ(HiddenFiles(dir.path()), QStringList());
}

namespace {

// Waits until the program, started with the ready notice on, says that its
// list holds `count` files and shows the first frame; what it writes on
// stderr is passed on.
bool WaitForListed(QProcess &process, int count)
{
    const QByteArray notice = "vidora: listed " + QByteArray::number(count) + ",";
    if (!process.waitForStarted())
        return false;
    QByteArray seen;
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        const QByteArray more = process.readAllStandardError();
        std::fwrite(more.constData(), 1, size_t(more.size()), stderr);
        seen += more;
        if (seen.contains(notice))
            return true;
    }
    return false;
}

void StartWithNotice(QProcess &process, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VIDORA_READY_NOTICE"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.start(ProgramPath(), arguments);
}

} // namespace

TEST(MainWindowProcess, SaveListWhenQuitSurvivesACloseAndARestart)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    QTemporaryDir dir;
    const QString clip = test::WriteDvClip(dir.path());
    ASSERT_FALSE(clip.isEmpty());
    {
        SettingsEnvironment environment = SettingsEnvironment::forRunningProgram();
        environment.programFilePath = ProgramPath();
        environment.programFolder = QFileInfo(ProgramPath()).absolutePath() + u'/';
        Settings settings(environment);
        settings.PreferencesMode = kPreferencesRegistry;
        settings.SaveListWhenQuit = true;
        settings.PlaylistFolder = dir.path();
        settings.SavePreferences();
    }
    const QString kept = dir.filePath(QStringLiteral("PlayList.txt"));

    QProcess first;
    StartWithNotice(first, {clip});
    ASSERT_TRUE(WaitForListed(first, 1));
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    QFile list(kept);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QByteArray bytes = list.readAll();
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xFE", 2));
    EXPECT_TRUE(QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                   (bytes.size() - 2) / 2)
                    .contains(QStringLiteral("     ") + QFileInfo(clip).canonicalFilePath()));

    // Started without arguments, it lists the file again.
    QProcess second;
    StartWithNotice(second, {});
    EXPECT_TRUE(WaitForListed(second, 1));
    second.terminate();
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
}

TEST(MainWindowProcess, AScriptListsTheScenesOfTwoSelectedFilesEachFromItsOwnFrames)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath(), [](Settings &s) {
        s.FormatShowDatecode = QStringLiteral("yyyy-mm-dd hh:nn:ss");
    });
    QTemporaryDir dir;
    // A PAL type-1 file of three recordings and an NTSC type-2 file of two.
    const QString pal = dir.filePath(QStringLiteral("pal.avi"));
    const QByteArray palRaw = test::joinedRecordingsDv(dir.path(), false,
                                                       {{30, {2005, 6, 7, 8, 9, 10}},
                                                        {30, {2006, 1, 1, 12, 0, 0}},
                                                        {15, {2007, 7, 14, 18, 30, 0}}});
    ASSERT_FALSE(palRaw.isEmpty());
    test::writeFileBytes(pal, test::dvType1Avi(palRaw));
    const QByteArray ntscRaw = test::joinedRecordingsDv(
        dir.path(), true, {{20, {2010, 2, 3, 19, 59, 58}}, {20, {2011, 11, 12, 7, 0, 0}}});
    ASSERT_FALSE(ntscRaw.isEmpty());
    const QString ntscDv = dir.filePath(QStringLiteral("ntsc.dv"));
    test::writeFileBytes(ntscDv, ntscRaw);
    const QString ntsc = dir.filePath(QStringLiteral("ntsc.avi"));
    ASSERT_TRUE(test::ffmpegDvType2Avi(ntscDv, ntsc));

    const QString script = WriteScript(
        dir.path(), {QStringLiteral("selectwhenopen=true"), QStringLiteral("openfiles=") + pal,
                     QStringLiteral("openfiles=") + ntsc, QStringLiteral("selectall"),
                     QStringLiteral("createscnbydate"), QStringLiteral("exportscntext"),
                     QStringLiteral("quit")});
    ASSERT_FALSE(script.isEmpty());
    QProcess process;
    ASSERT_TRUE(RunScript(process, script, 120000)) << "the program did not end by itself";
    EXPECT_EQ(process.exitCode(), 0);

    // Each line: number, first and last frame's positions, duration, the
    // recording date and time code of the scene's first frame.
    const auto lines = [](const QString &listing) {
        QStringList scenes;
        for (const QString &line : listing.split(QStringLiteral("\r\n")))
            if (line.startsWith(QStringLiteral("  ")))
                scenes << line;
        return scenes;
    };
    EXPECT_EQ(
        lines(QString::fromUtf8(test::readFileBytes(dir.filePath("pal_scn.txt")))),
        (QStringList{"  1, 0:00:00:00, 0:00:01:04, 01.05, 2005-06-07 08:09:10, 01.02.03.04, , ",
                     "  2, 0:00:01:05, 0:00:02:09, 01.05, 2006-01-01 12:00:00, 01.02.04.09, , ",
                     "  3, 0:00:02:10, 0:00:02:24, 00.15, 2007-07-14 18:30:00, 01.02.05.14, , "}));
    EXPECT_EQ(
        lines(QString::fromUtf8(test::readFileBytes(dir.filePath("ntsc_scn.txt")))),
        (QStringList{"  1, 0:00:00:00, 0:00:00:19, 00.20, 2010-02-03 19:59:58, 01.02.03.04, , ",
                     "  2, 0:00:00:20, 0:00:01:09, 00.20, 2011-11-12 07:00:00, 01.02.03.24, , "}));
    EXPECT_EQ(HiddenFiles(dir.path()), QStringList());
}

namespace {

// The first X window whose title matches `pattern` (a regular expression),
// as xdotool finds it; empty when there is none.
QString FindWindowId(const QString &pattern)
{
    return Run(QStringLiteral("xdotool"),
               {QStringLiteral("search"), QStringLiteral("--name"), pattern})
        .section(u'\n', 0, 0)
        .trimmed();
}

// Presses `keys` on the keyboard (XTEST) with the window holding the focus.
void PressKeys(const QString &windowId, const QString &keys)
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("windowfocus"), QStringLiteral("--sync"), windowId});
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
}

bool HaveXdotool()
{
    QProcess probe;
    probe.start(QStringLiteral("xdotool"), {QStringLiteral("version")});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

} // namespace

namespace {

const QString kSettingsFile = QStringLiteral("/Vesk Tobrek/Vidora.conf");

// Starts the program and waits until the window titled `caption` shows.
bool StartWithWindow(QProcess &process, const QStringList &arguments, const QString &caption)
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(ProgramPath(), arguments);
    return process.waitForStarted() &&
           QTest::qWaitFor([&] { return FindWindow(caption).has_value(); }, 60000);
}

// Waits for the program to end; a program that does not is killed.
bool Ends(QProcess &process, int ms = 30000)
{
    if (process.waitForFinished(ms))
        return true;
    process.kill();
    process.waitForFinished(30000);
    return false;
}

} // namespace

TEST(MainWindowProcess, KeypadKeysSetTheVolumeAndCtrlQQuits)
{
    SKIP_WITHOUT_DISPLAY();
    ASSERT_TRUE(HaveXdotool()) << "xdotool is missing (scripts/setup installs it)";
    test::IsolatedHome home;
    StoreSettings(ProgramPath(), [](Settings &settings) { settings.Volume = 5000; });
    QTemporaryDir dir;
    const QString path = test::WriteDvClip(dir.path());
    ASSERT_FALSE(path.isEmpty());
    const QByteArray before = test::readFileBytes(path);
    Started run;
    StartAndPhotograph(run, {path}, QStringLiteral("keys"));
    const QString window = FindWindowId(QRegularExpression::escape(kCaption));
    ASSERT_FALSE(window.isEmpty());

    PressKeys(window, QStringLiteral("KP_Add"));
    PressKeys(window, QStringLiteral("KP_Add"));
    PressKeys(window, QStringLiteral("KP_Subtract"));
    QTest::qWait(500);
    PressKeys(window, QStringLiteral("ctrl+q"));
    ASSERT_TRUE(run.process.waitForFinished(30000)) << "Ctrl+Q did not end the program";
    EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.process.exitCode(), 0);
    // The file keeps its name and its bytes (Ctrl+Q shortens no name).
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.avi")}, QDir::Files),
              QStringList{QFileInfo(path).fileName()});
    EXPECT_EQ(test::readFileBytes(path), before);
    // Two steps up and one down, saved at the close.
    SettingsEnvironment environment = SettingsEnvironment::forRunningProgram();
    environment.programFilePath = ProgramPath();
    environment.programFolder = QFileInfo(ProgramPath()).absolutePath() + u'/';
    Settings stored(environment);
    stored.LoadPreferences();
    EXPECT_EQ(stored.Volume, 6000);
}

TEST(MainWindowProcess, TheRiffHeaderSwitchShowsTheAnalyser)
{
    SKIP_WITHOUT_DISPLAY();
    ASSERT_TRUE(HaveXdotool()) << "xdotool is missing (scripts/setup installs it)";
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QTemporaryDir dir;
    const QString path = test::WriteDvClip(dir.path());
    ASSERT_FALSE(path.isEmpty());
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(ProgramPath(), {path, QStringLiteral("+h")});
    ASSERT_TRUE(process.waitForStarted());
    // The analyser's window, named after the file it reads.
    const QString title = QStringLiteral("Header of the file ") + path;
    QString analyser;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            analyser = FindWindowId(QStringLiteral("^") + QRegularExpression::escape(title) +
                                    QStringLiteral("$"));
            return !analyser.isEmpty();
        },
        30000))
        << "no window " << title.toStdString();
    if (!analyser.isEmpty()) {
        const QString dirShots = qEnvironmentVariable("VIDORA_SCREENSHOT_DIR", QDir::tempPath());
        Screenshot(dirShots + QStringLiteral("/screen_riffheader.png"));
        PressKeys(analyser, QStringLiteral("Escape"));
    }
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
}

// Quit on the command line after the commands-and-keys window opened: that
// window, which no other holds, goes with the main window.
TEST(MainWindowProcess, QuitEndsTheProgramWithTheCommandsWindowOpen)
{
    SKIP_WITHOUT_DISPLAY();
    test::IsolatedHome home;
    StoreSettings(ProgramPath());
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(ProgramPath(), {QStringLiteral("+f11"), QStringLiteral("+quit")});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(Ends(process)) << "the program did not end";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

// SIGTERM ends the program cleanly whatever other window is open, and the
// settings are saved as Quit saves them.
TEST(MainWindowProcess, TerminatingEndsTheProgramWithAnyOtherWindowOpen)
{
    SKIP_WITHOUT_DISPLAY();
    struct Case
    {
        const char *name;
        QStringList arguments; // the clip's path stands for "%1"
        QString caption;       // the other window, open when the signal comes ("%1" as above)
    };
    const Case cases[] = {
        {"commands and keys",
         {QStringLiteral("+f11")},
         QStringLiteral("The commands of Vidora 7.0.5 En")},
        {"AVI analyser",
         {QStringLiteral("+o=%1"), QStringLiteral("+h")},
         QStringLiteral("Header of the file %1")},
        {"overlay editor",
         {QStringLiteral("+o=%1"), QStringLiteral("+ei")},
         QStringLiteral("Edit the inlay")},
        // The conversion's output exists: the command asks whether to
        // replace it.
        {"a command's question",
         {QStringLiteral("+so"), QStringLiteral("+o=%1"), QStringLiteral("+2")},
         QStringLiteral("Vidora")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::IsolatedHome home;
        StoreSettings(ProgramPath());
        QTemporaryDir dir;
        const QString clip = test::WriteDvClip(dir.path());
        ASSERT_FALSE(clip.isEmpty());
        const QString existing = dir.filePath(QStringLiteral("clip_type2.avi"));
        ASSERT_TRUE(QFile::copy(clip, existing));
        QStringList arguments;
        for (const QString &argument : c.arguments)
            arguments << (argument.contains(u'%') ? argument.arg(clip) : argument);

        QProcess process;
        const QString caption = c.caption.contains(u'%') ? c.caption.arg(clip) : c.caption;
        ASSERT_TRUE(StartWithWindow(process, arguments, caption)) << "no window " << c.name;
        // Gone from the disk while the program runs: closing writes it again.
        const QString settingsFile = home.configHome() + kSettingsFile;
        ASSERT_TRUE(QFile::remove(settingsFile));
        process.terminate();
        ASSERT_TRUE(Ends(process)) << "the program did not end";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(QFile::exists(settingsFile));
        // The question was not answered: the file it asked about is as it was.
        EXPECT_EQ(QFileInfo(existing).size(), QFileInfo(clip).size());
        EXPECT_EQ(HiddenFiles(dir.path()), QStringList());
    }
}

// With no settings store chosen, closing asks where to keep them; SIGTERM
// does not wait for that answer, neither before the question shows nor while
// it is open, and keeps nothing, as "do not save" would.
TEST(MainWindowProcess, TerminatingWithNoSettingsStoreAsksNothingAndSavesNothing)
{
    SKIP_WITHOUT_DISPLAY();
    const QString portable =
        QFileInfo(ProgramPath()).absolutePath() + QStringLiteral("/Vidora.ini");
    ASSERT_FALSE(QFile::exists(portable));
    for (const bool questionOpen : {false, true}) {
        SCOPED_TRACE(questionOpen ? "the question is open" : "no question yet");
        test::IsolatedHome home;
        QProcess process;
        // Quit on the command line, after another window opened, asks the
        // question.
        ASSERT_TRUE(StartWithWindow(
            process,
            questionOpen ? QStringList{QStringLiteral("+f11"), QStringLiteral("+quit")}
                         : QStringList{},
            questionOpen ? QStringLiteral("Saving the preferences of Vidora") : kCaption));
        QTest::qWait(1000); // the command line has run
        process.terminate();
        ASSERT_TRUE(Ends(process)) << "the program waited for an answer";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_FALSE(QFile::exists(home.configHome() + kSettingsFile));
        EXPECT_FALSE(QFile::exists(portable));
    }
}
