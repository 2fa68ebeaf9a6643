// The real program on a real X display (run under xvfb-run by the
// "mainwindow_x11" test, which names the program in VIDORA_EXE): it starts
// with a temporary home, shows its main window, which is photographed, and
// ends cleanly when asked to; a DV file on its command line replaces the
// empty-list help with the list and the video.
#include "dvclipfile.h"
#include "settings/settings.h"
#include "support/isolatedhome.h"
#include "ui/displaylayout.h"

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

// The main window's place on the screen, once it is mapped.
std::optional<QRect> FindMainWindow()
{
    const QString tree =
        Run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    const QRegularExpression line(
        QStringLiteral("\"") + QRegularExpression::escape(kCaption) +
        QStringLiteral("\".*\\s(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"));
    const QRegularExpressionMatch match = line.match(tree);
    if (!match.hasMatch())
        return std::nullopt;
    return QRect(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(1).toInt(),
                 match.captured(2).toInt());
}

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

// Stores the settings the way the program does, so closing asks nothing.
void StoreSettings(const QString &program)
{
    SettingsEnvironment environment = SettingsEnvironment::forRunningProgram();
    environment.programFilePath = program;
    environment.programFolder = QFileInfo(program).absolutePath() + u'/';
    Settings settings(environment);
    settings.PreferencesMode = kPreferencesRegistry;
    settings.SavePreferences();
}

// One home for the whole program: QSettings keeps the first place it found.
test::IsolatedHome &Home()
{
    static test::IsolatedHome home;
    return home;
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
    if (ProgramPath().isEmpty())
        GTEST_SKIP() << "runs under xvfb-run as the mainwindow_x11 test";
    test::IsolatedHome &home = Home();
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
    if (ProgramPath().isEmpty())
        GTEST_SKIP() << "runs under xvfb-run as the mainwindow_x11 test";
    Home();
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
